[IMG ID]
CodePage=1252
Name=Seed
[END-IMG ID]
[POI]
Type=0x2A00
Label=Café
Data0=(48.8566,2.3522)
[END]
[POLYLINE]
Type=0x06
Label=Rue 12
StreetDesc=Rue
HouseNumber=12
Data0=(48.85,2.35),(48.86,2.36)
[END]
[POLYGON]
Type=0x13
Label=25 Main
Data0=(48.0,2.0),(48.0,2.1),(48.1,2.1)
Data0=(48.02,2.02),(48.02,2.05),(48.05,2.05)
[END]
