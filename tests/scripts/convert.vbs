' A Visual Basic caller passes a byte variable by reference: the one byte
' it holds, and never more.
Dim b
b = CByte(65)
r = ctl.BinaryToString(b, 1, &H40000001)
host.Equal r(0), 0, "one byte by reference"
host.Equal r(1), "QQ==", "its base64"
r = ctl.BinaryToString(b, 2, 1)
host.Equal r(0), 40, "more than the variable holds"

' Byte arrays go back and forth through Visual Basic variables.
r = ctl.StringToBinary("AQID", 1)
host.Equal r(0), 0, "decoded"
bytes = r(1)
back = ctl.BinaryToString(bytes, 3, &H40000001)
host.Equal back(1), "AQID", "the same bytes back"
r = ctl.StringToBinary("zz", 4)
host.Equal r(0), 39, "not hexadecimal"
