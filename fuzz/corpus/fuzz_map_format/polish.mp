; comment
[IMG ID]
Name=x
