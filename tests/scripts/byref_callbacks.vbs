' A page's own code runs in the middle of a call: Visual Basic passes its
' variables by reference, and converting an object argument calls the
' object's default property. Each row passes a text variable, then an
' object whose default property frees or replaces that variable before it
' answers its own value. The method must answer for the value the variable
' held when the call was made.
Dim pki
pki = host.Env("TESSARN_PKI")
Function PkiText(name)
  PkiText = host.ReadFile(pki & "\" & name)
End Function

host.AddCert "Root", "root"
host.AddCert "CA", "ca"
host.ImportWithKey "full"
host.ImportWithKey "dns"

Dim a0, a1, a2, a3

Class Meddler
  Public Value
  Public Target
  Public Mode
  Public Substitute
  Public Default Property Get Item()
    Dim replacement
    If Mode = "free" Then replacement = Empty Else replacement = Substitute
    Select Case Target
      Case 0: a0 = replacement
      Case 1: a1 = replacement
      Case 2: a2 = replacement
    End Select
    Item = Value
  End Property
End Class

Function CallMethod(name)
  Select Case name
    Case "RawSignCheck": CallMethod = ctl.RawSignCheck(a0, a1, a2)
    Case "RawSign": CallMethod = ctl.RawSign(a0, a1, a2, a3)
    Case "CertLookup": CallMethod = ctl.CertLookup(a0, a1, a2)
    Case "CertIsValid": CallMethod = ctl.CertIsValid(a0, a1)
    Case "CertGetInfo": CallMethod = ctl.CertGetInfo(a0, a1)
    Case "SignPKCS7": CallMethod = ctl.SignPKCS7(a0, a1, a2)
    Case "SignRaw": CallMethod = ctl.SignRaw(a0, a1, a2)
    Case "StringToBinary": CallMethod = ctl.StringToBinary(a0, a1)
    Case Else: host.Fail "no such method in the table: " & name
  End Select
End Function

' An answer as text: the code, then each value (byte arrays by the base64
' of their first byteCount bytes, or code 40 when they hold fewer). A
' signed message carries its signing time, so for it only the code and
' whether a message came are compared.
Dim byteCount
Function Describe(answer, codeOnly)
  If Not IsArray(answer) Then
    Describe = CStr(answer)
    Exit Function
  End If
  Dim s, i, e, text
  s = CStr(answer(0))
  For i = 1 To UBound(answer)
    e = answer(i)
    If codeOnly Then
      s = s & "|" & (Len(e) > 0)
    ElseIf IsArray(e) Then
      text = ctl.BinaryToString(e, byteCount, 1)
      s = s & "|bytes:" & text(0) & ":" & text(1)
    Else
      s = s & "|" & CStr(e)
    End If
  Next
  Describe = s
End Function

Sub SetArgs(values)
  a0 = Empty : a1 = Empty : a2 = Empty : a3 = Empty
  If UBound(values) >= 0 Then a0 = values(0)
  If UBound(values) >= 1 Then a1 = values(1)
  If UBound(values) >= 2 Then a2 = values(2)
  If UBound(values) >= 3 Then a3 = values(3)
End Sub

Sub SetArg(i, v)
  Select Case i
    Case 0: a0 = v
    Case 1: Set a1 = v
    Case 2: Set a2 = v
    Case 3: Set a3 = v
  End Select
End Sub

Sub SetText(i, v)
  Select Case i
    Case 0: a0 = v
    Case 1: a1 = v
    Case 2: a2 = v
  End Select
End Sub

' One row: the method, its arguments as plain values, which text argument
' the object meddles with, which argument the object stands in for, the
' text it puts in the variable's place, whether only codes compare.
Sub Row(name, values, target, objectAt, substitute, codeOnly, what)
  Dim expected, substituted, freed, got, m, modes, k
  SetArgs values
  expected = Describe(CallMethod(name), codeOnly)
  SetArgs values
  SetText target, substitute
  substituted = Describe(CallMethod(name), codeOnly)
  SetArgs values
  SetText target, Empty
  freed = Describe(CallMethod(name), codeOnly)
  host.Check expected <> substituted, what & ": the substitute alone answers differently (" & Left(expected, 60) & ")"
  host.Check expected <> freed, what & ": a freed variable alone answers differently"
  modes = Array("free", "replace")
  For k = 0 To 1
    SetArgs values
    Set m = New Meddler
    m.Value = values(objectAt)
    m.Target = target
    m.Mode = modes(k)
    m.Substitute = substitute
    SetArg objectAt, m
    got = Describe(CallMethod(name), codeOnly)
    host.Equal Left(got, 2000), Left(expected, 2000), what & " (" & modes(k) & "): the original value's answer"
    host.Equal Len(got), Len(expected), what & " (" & modes(k) & "): the whole answer"
    Set m = Nothing
  Next
End Sub

Dim full, dns, root, thumb, hash20, hash20b
full = PkiText("full.b64")
dns = PkiText("dns.b64")
root = PkiText("root.b64")
thumb = PkiText("full.sha1")
hash20 = "000102030405060708090a0b0c0d0e0f10111213"
hash20b = "ffeeddccbbaa99887766554433221100ffeeddcc"

byteCount = 3
Row "StringToBinary", Array("AQID", 1), 0, 1, "////", False, "StringToBinary text"
byteCount = 3145728
Row "StringToBinary", Array(String(4194304, "A"), 1), 0, 1, "QUJD", False, "StringToBinary of 4 Mi characters"
Row "CertGetInfo", Array(full, 1), 0, 1, dns, False, "CertGetInfo certificate"
Row "CertGetInfo", Array(full, 0), 0, 1, root, False, "CertGetInfo all items"
Row "CertIsValid", Array(full, &H183), 0, 1, root, False, "CertIsValid certificate"
Row "CertLookup", Array("MY", 0, ""), 0, 1, "ROOT", False, "CertLookup store name"
Row "CertLookup", Array("MY", 1, Left(thumb, 8)), 0, 1, "CA", False, "CertLookup store name before the search text"
Row "RawSignCheck", Array("F12345", thumb, "SHA1"), 0, 1, "0BAD", False, "RawSignCheck serial"
Row "RawSignCheck", Array("F12345", thumb, "SHA1"), 1, 2, String(40, "a"), False, "RawSignCheck thumbprint"
Row "RawSign", Array(hash20, "F12345", thumb, "SHA1"), 0, 1, hash20b, False, "RawSign hash"
Row "RawSign", Array(hash20, "F12345", thumb, "SHA1"), 1, 2, "0BAD", False, "RawSign serial"
Row "RawSign", Array(hash20, "F12345", thumb, "SHA1"), 2, 3, String(40, "b"), False, "RawSign thumbprint"
Row "SignRaw", Array(full, hash20, "SHA1"), 0, 1, root, False, "SignRaw certificate"
Row "SignRaw", Array(full, hash20, "SHA1"), 1, 2, hash20b, False, "SignRaw hash"
Row "SignPKCS7", Array(full, "YWJj", "SHA256"), 0, 1, root, True, "SignPKCS7 certificate"
Row "SignPKCS7", Array(full, "YWJj", "SHA256"), 1, 2, "!!!", True, "SignPKCS7 data"

' The host still answers.
Dim info
info = ctl.LibGetInfo(2)
host.Equal info(1), "2.3.21113.0", "the control still answers"
