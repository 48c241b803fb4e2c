// On a Windows older than 2000 (major version below 5) every engine method
// ends with code 3 and never closes the engine it could not open.
function items(a) { return new VBArray(a).toArray(); }
var file = items(ctl.SetLogging("TRACE"))[1];
host.Equal(items(ctl.CertEnum(0x183)).join("|"), "3", "CertEnum answers [3]");
var log = host.ReadFile(file);
host.Check(log.indexOf("T:E):System version 4.0 is not supported") >= 0, "version line: " + log);
host.Check(log.indexOf("T:E):CCrypt::Init - error - OS invalid!") >= 0, "init line");
host.Check(log.indexOf("T:E):CryptInit failed! (rv=3)") >= 0, "CertEnum's own error line");
host.Check(log.indexOf("CCrypt::Close start") < 0, "the engine is not closed");
host.Check(log.indexOf("T:T):CTessarnCtrl::CertEnum - result stored (retCode=3)\r\r\n") >= 0, "exit line");
host.Equal(items(ctl.CertLookup("MY", 0, "")).join("|"), "3", "CertLookup answers [3]");
host.Equal(items(ctl.CertGetInfo("AQID", 0)).join("|"), "3", "CertGetInfo answers [3]");
host.Equal(ctl.CertIsValid("AQID", 0x183), 3, "CertIsValid answers 3");
host.Equal(ctl.CertHasPrivateKey("AQID"), 3, "CertHasPrivateKey answers 3");
host.Equal(ctl.CertChainIsValid("AQID"), 3, "CertChainIsValid answers 3");
host.Equal(items(ctl.LibGetInfo(1)).join("|"), "0|Tessarn", "methods without an engine still answer");

var before = host.ReadFile(file).length;
host.Equal(items(ctl.RawSign("00", "01", "02", "SHA1")).join("|"), "3|Unsupported operating system.",
           "RawSign answers the text of code 3");
var added = host.ReadFile(file).substr(before);
host.Check(added.indexOf("CryptInit failed!") < 0, "RawSign writes no CryptInit line");
host.Check(added.indexOf("CTessarnCtrl::RawSign - errtext=Unsupported operating system..") >= 0, "errtext line");
before = host.ReadFile(file).length;
host.Equal(ctl.RawSignCheck("01", "02", "SHA1"), 3, "RawSignCheck answers 3");
host.Check(host.ReadFile(file).substr(before).indexOf("T:E):CryptInit failed! (rv=3)") >= 0, "RawSignCheck's CryptInit line");
host.Equal(items(ctl.SignRaw("AQID", "00", "SHA1")).join("|"), "3", "SignRaw answers [3]");
host.Equal(items(ctl.SignPKCS7("AQID", "YWJj", "SHA1")).join("|"), "3", "SignPKCS7 answers [3]");
