// RawSign answers its error texts in the thread's user-interface language:
// this run's user interface is Czech.
function items(a) { return new VBArray(a).toArray(); }
host.Equal(items(ctl.RawSign("00", "01", "0000000000000000000000000000000000000000", "sha1")).join("|"),
           "1|Certifik\u00e1t nelze nal\u00e9zt.", "certificate not found, in Czech");
host.Equal(items(ctl.RawSign("00", "01", "00", "SHA-1")).join("|"),
           "33|Vstupn\u00ed typ hash algoritmu nen\u00ed podporovan\u00fd nebo je \u0161patn\u00fd.", "unknown algorithm, in Czech");
host.Equal(items(ctl.SetLogging("verbose")).join("|"), "35|Chybn\u011b zvolena \u00farove\u0148 logov\u00e1n\u00ed.",
           "SetLogging's text, in Czech");
