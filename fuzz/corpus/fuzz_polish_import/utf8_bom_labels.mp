[IMG ID]
CodePage=1252
[END-IMG ID]
[POI]
Type=0x2b00
Label=Гостиница «Москва»
Data0=(55.7558,37.6173)
[END]
[POI]
Type=0x2c00
Label=Château d’Œx
Data0=(46.45,7.13)
[END]
[POI]
Type=0x2c00
Label=東京タワー
Data0=(35.6586,139.7454)
[END]
