[IMG ID]
CodePage=1252
[END-IMG ID]
[POLYLINE]
Type=0x01
Label=Data1 only
Data2=(10.0,20.0),(10.5,20.5)
Data1=(11.0,21.0),(11.5,21.5),(12.0,22.0)
[END]
[POLYGON]
Type=0x50
Label=Data0 wins
Data1=(1.0,1.0),(1.0,2.0),(2.0,2.0)
Data0=(3.0,3.0),(3.0,4.0),(4.0,4.0),(4.0,3.0)
Data0=(3.2,3.2),(3.2,3.8),(3.8,3.8)
[END]
[POI]
Type=0x2c02
Label=Only Data3
Data3=(5.0,6.0)
[END]
