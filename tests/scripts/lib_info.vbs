' The same answer through VBScript, with the control initialised through
' IPersistStreamInit.
r = ctl.LibGetInfo(0)
host.Equal UBound(r), 2, "upper bound"
host.Equal r(0), 0, "code"
host.Equal TypeName(r(0)), "Long", "code type"
host.Equal r(1), "Tessarn", "name"
host.Equal r(2), "2.3.21113.0", "version"
r = ctl.LibGetInfo(5)
host.Equal UBound(r), 0, "no values for other attributes"
