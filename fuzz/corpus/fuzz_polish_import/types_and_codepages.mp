[IMG ID]
CodePage=65001
[END]
[POI]
Type=0x10f04
Label=Москва ß α
Data0=(1,2)
[END]
[POI]
Type=22
Label=Dec
Data0=(1,2)
[END]
[POI]
Type=0xZZ
Label=Bad
Data0=(1,2)
[END]
[POI]
Label=No type
Origin0=(1,2)
[END]
