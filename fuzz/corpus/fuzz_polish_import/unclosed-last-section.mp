[IMG ID]
CodePage=1252
[END-IMG ID]
[POLYLINE]
Type=0x02
Label=Good road
Data0=(1.0,2.0),(1.5,x),(2.0,3.0),(2.5,3.5)
[END]
[POLYGON]
Type=0x50
Label=Cut off forest
Data0=(4.0,4.0),(4.0,5.0),(5.0,5.0