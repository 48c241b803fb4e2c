// CertGetInfo over the test PKI's certificates.
function items(a) { return new VBArray(a).toArray(); }
var pki = host.Env("TESSARN_PKI");
function cert(name) { return host.ReadFile(pki + "\\" + name + ".b64"); }
function text(v) { return v == null ? "" : "" + v; }

var all = items(ctl.CertGetInfo(cert("full"), 0));
host.Equal(all.length, 13, "attribute 0: the code and twelve items");
host.Equal(all[0], 0, "code");
host.Check(all[1].indexOf("CN=Jan Nov\u00e1k") >= 0, "subject: " + all[1]);
host.Check(all[1].indexOf("O=Tessarn Test") >= 0, "subject organisation");
host.Equal(all[2], "jan.novak@example.cz", "e-mail");
host.Equal(all[3], "Jan Nov\u00e1k", "subject display name");
host.Check(all[4].indexOf("CN=Tessarn Test Issuing CA") >= 0, "issuer: " + all[4]);
host.Equal(all[5], "Tessarn Test Issuing CA", "issuer display name");
host.Equal(all[6], "00f12345", "serial number with its leading zero byte");
host.Equal(all[7], host.ReadFile(pki + "\\full.sha1"), "SHA-1 thumbprint");
host.Check(/^\d{4}\/\d\d\/\d\d \d\d:\d\d:\d\d$/.test(all[8]), "not before: " + all[8]);
host.Check(/^\d{4}\/\d\d\/\d\d \d\d:\d\d:\d\d$/.test(all[9]), "not after: " + all[9]);
host.Check(all[8] < all[9], "validity in order");
host.Equal(all[10], "jan.novak@example.cz", "first alternative name is an e-mail address");
host.Check(all[11].indexOf("1.3.6.1.4.1.99999.1.2") >= 0, "certificate policies: " + all[11]);
host.Equal(all[12].substr(0, 2), "c0", "digital signature and non-repudiation");

var dns = items(ctl.CertGetInfo(cert("dns"), 10));
host.Equal(dns.length, 2, "one item");
host.Equal(host.TypeName(dns[1]), 3, "a DNS name answers its choice as a number");
host.Equal(dns[1], 3, "choice 3");

var upn = items(ctl.CertGetInfo(cert("othername"), 10));
host.Equal(text(upn[1]).replace(/\s+/g, " ").substr(0, 11), "0c 12 73 69", "an other name's value in hexadecimal");

var plain = items(ctl.CertGetInfo(cert("plain"), 0));
host.Equal(plain[0], 0, "code stays 0 without optional fields");
host.Equal(plain[2], "", "no e-mail: empty text");
host.Equal(plain[10], "", "no alternative name: empty text");
host.Equal(plain[11], "", "no policies: empty text");
host.Equal(plain[12].substr(0, 2), "00", "no key usage: the byte 00");

var one = items(ctl.CertGetInfo(cert("full"), 7));
host.Equal(one.join("|"), "0|" + host.ReadFile(pki + "\\full.sha1"), "attribute 7 alone");
var attributes = [13, -1, 100];
for (var i = 0; i < attributes.length; i++)
  host.Equal(items(ctl.CertGetInfo(cert("full"), attributes[i])).join("|"), "0", "attribute " + attributes[i]);

var bad = [["!!not base64!!", 39], ["", 39], ["AQIDBA==", 12]];
for (i = 0; i < bad.length; i++)
  host.Equal(items(ctl.CertGetInfo(bad[i][0], 0)).join("|"), "" + bad[i][1], "certificate text [" + bad[i][0] + "]");

// The call is traced: entry line and closing line.
var file = items(ctl.SetLogging("TRACE"))[1];
items(ctl.CertGetInfo(cert("dns"), 6));
var log = host.ReadFile(file);
host.Check(log.indexOf("T:I):CTessarnCtrl::CertGetInfo [" + cert("dns") + "] [6]") >= 0, "entry line");
host.Check(log.indexOf("CTessarnCtrl::CertGetInfo 6- nrlCertSerialNumberToStr") >= 0, "item line");
host.Check(log.indexOf("T:T):CTessarnCtrl::CertGetInfo - result stored (retCode=0)\r\r\n") >= 0, "closing line");
host.Check(log.indexOf("CCrypt::Init start") >= 0 && log.indexOf("CCrypt::Close finished") >= 0, "engine opened and closed");
