; Sections in the old RGN naming, each closed by its own [END-RGNxx]
[IMG ID]
CodePage=1251
Name=Город
[END-IMG ID]

[RGN10]
Type=0x2f06
Label=Сбербанк
Origin0=(55.75000,37.61000)
[END-RGN10]

[RGN20]
Type=0x0d00
Label=Посёлок
Data0=(55.76000,37.62000)
[END-RGN20]

[RGN40]
Type=0x06
Label=Тверская
Data0=(55.75000,37.60000),(55.76000,37.60500),(55.77000,37.61000)
[END-RGN40]

[RGN80]
Type=0x13
Label=Тверская 12
Data0=(55.7500,37.6000),(55.7505,37.6000),(55.7505,37.6010),(55.7500,37.6010)
[END-RGN80]
