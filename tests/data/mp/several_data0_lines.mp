[IMG ID]
CodePage=1252
[END-IMG ID]
[POLYGON]
Type=0x3c
Label=Lake with island
Data0=(50.0,10.0),(50.0,10.1),(50.1,10.1),(50.1,10.0)
Data0=(50.04,10.04),(50.04,10.06),(50.06,10.06),(50.06,10.04)
[END]
[POLYLINE]
Type=0x1f
Label=River in two parts
Data0=(50.2,10.0),(50.2,10.1)
Data0=(50.3,10.0),(50.3,10.1),(50.3,10.2)
[END]
