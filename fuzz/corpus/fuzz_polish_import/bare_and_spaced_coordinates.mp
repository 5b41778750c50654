[POLYLINE]
Type = 0x16
	Label = Trail
Data0=48.8566,2.3522,48.8577,2.3533
[END]
[POLYLINE]
Type=0x16
Data0 = ( 48.8566 , 2.3522 ) , (1e-1,+2.5),(abc,1),(400,1)
[END]
