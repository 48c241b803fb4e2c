import { TessarnError } from "./errors.js";

/** The names of the control's eighteen methods. */
export type MethodName =
  | "AboutBox" | "RawSignCheck" | "RawSign" | "SetLogging" | "GetLogging" | "CertEnum" | "CertLookup"
  | "CertIsValid" | "CertGetInfo" | "CertHasPrivateKey" | "CertChainIsValid" | "CertDisplay" | "SignPKCS7"
  | "SignRaw" | "BinaryToString" | "StringToBinary" | "LocalTimeToUTCTime" | "LibGetInfo";

/** A byte array as the bridge carries it: base64 text. */
export interface WireBytes {
  bytes: string;
}

/** An argument of a method: a text, a number, or bytes. */
export type WireValue = string | number | WireBytes | null;

/**
 * A way to the control. `call` answers what the control answers: a number,
 * an array [code, value, ...] (byte arrays as WireBytes), or null. It
 * rejects only when the call could not be made, with a TessarnError.
 */
export interface Transport {
  readonly kind: "control" | "extension" | "mock" | (string & {});
  call(method: MethodName, args: WireValue[]): Promise<unknown>;
  /** Whether the way exists at all (the extension answered, the control is on the page); up to `timeoutMs`. */
  present(timeoutMs: number): Promise<boolean>;
}

interface BridgeAnswer {
  tessarn: "answer";
  id: string;
  result?: unknown;
  error?: { hresult?: string; message?: string };
}

let instance = 0;

/**
 * The Tessarn browser extension: requests posted to the page's own window,
 * which the extension's content script carries to the native host. The
 * origin the control judges is the one the browser reports, never anything
 * said here.
 */
export function extensionTransport(win: Window = window): Transport {
  const prefix = `tessarn-es-${++instance}-${Math.random().toString(36).slice(2)}-`;
  let next = 1;
  let seen = win.document?.documentElement?.getAttribute("data-tessarn-bridge") === "1";
  const waiting = new Map<string, { resolve(v: unknown): void; reject(e: unknown): void }>();
  const readyWaiters = new Set<() => void>();

  win.addEventListener("message", (event: MessageEvent) => {
    if (event.source !== win) return;
    const data = event.data as Omit<Partial<BridgeAnswer>, "tessarn"> & { tessarn?: string };
    if (!data || typeof data !== "object") return;
    if (data.tessarn === "ready") {
      seen = true;
      for (const w of [...readyWaiters]) w();
      return;
    }
    if (data.tessarn !== "answer" || typeof data.id !== "string") return;
    const w = waiting.get(data.id);
    if (!w) return;
    waiting.delete(data.id);
    if (data.error) w.reject(data.error);
    else w.resolve(data.result === undefined ? null : data.result);
  });

  return {
    kind: "extension",
    call(method, args) {
      return new Promise((resolve, reject) => {
        const id = prefix + next++;
        waiting.set(id, { resolve, reject });
        win.postMessage({ tessarn: "request", id, method, args }, "*");
      });
    },
    present(timeoutMs) {
      if (seen) return Promise.resolve(true);
      return new Promise((resolve) => {
        const finish = () => {
          readyWaiters.delete(finish);
          clearTimeout(timer);
          resolve(seen);
        };
        const timer = setTimeout(finish, timeoutMs);
        readyWaiters.add(finish);
        win.postMessage({ tessarn: "probe" }, "*");
      });
    },
  };
}

const CLSID = "E0D18E29-700A-419B-A691-D0E82E7CBCA5";
const PROGID = "TESSARN.TessarnCtrl.1";

type AutomationObject = Record<string, (...args: unknown[]) => unknown>;

declare const VBArray: { new (a: unknown): { toArray(): unknown[]; ubound(d: number): number } } | undefined;

function safeArrayItems(value: unknown): unknown[] | null {
  if (typeof VBArray === "undefined") return Array.isArray(value) ? value : null;
  try {
    return new VBArray(value).toArray();
  } catch {
    return Array.isArray(value) ? value : null;
  }
}

/**
 * The ActiveX control itself, where the browser hosts it (Internet Explorer
 * and Edge's IE mode): an <object> element of the page, or one made here.
 * Answers are the control's own, Automation arrays read as JavaScript
 * arrays, a byte array as WireBytes.
 */
export function controlTransport(control: unknown): Transport {
  const ctl = control as AutomationObject;
  const toBytes = (v: WireBytes): unknown => {
    const r = safeArrayItems(ctl.StringToBinary(v.bytes, 1)) ?? [];
    if (r[0] !== 0) throw new TessarnError("CALL_FAILED", { hresult: "0x80004005", detail: "The bytes are not valid base64." });
    return r[1];
  };
  return {
    kind: "control",
    async call(method, args) {
      try {
        const a = args.map((v) => (v !== null && typeof v === "object" ? toBytes(v) : v));
        const answer = ctl[method](...a);
        const items = safeArrayItems(answer);
        if (items === null) return answer === undefined ? null : answer;
        if (method === "StringToBinary" && items.length > 1) {
          const bytes = safeArrayItems(items[1]);
          const n = bytes ? bytes.length : 0;
          const text = safeArrayItems(ctl.BinaryToString(items[1], n, 0x40000001)) ?? [];
          items[1] = { bytes: n ? String(text[1]) : "" };
        }
        return items;
      } catch (e) {
        if (e instanceof TessarnError) throw e;
        const err = e as { number?: number; message?: string; description?: string };
        const hresult = typeof err?.number === "number" ? "0x" + (err.number >>> 0).toString(16).toUpperCase().padStart(8, "0") : "0x80004005";
        throw { hresult, message: err?.message || err?.description || "The call could not be made." };
      }
    },
    present() {
      try {
        return Promise.resolve(typeof ctl.LibGetInfo !== "undefined");
      } catch {
        return Promise.resolve(false);
      }
    },
  };
}

/** The control on this page, when the browser runs ActiveX controls; null elsewhere. */
export function findControl(doc: Document | undefined = globalThis.document): unknown | null {
  const g = globalThis as unknown as { ActiveXObject?: new (progid: string) => unknown };
  const isControl = (o: unknown) => {
    try {
      return o !== null && typeof o === "object" && typeof (o as AutomationObject).LibGetInfo !== "undefined";
    } catch {
      return false;
    }
  };
  if (doc) {
    for (const o of Array.from(doc.getElementsByTagName("object"))) {
      if ((o.getAttribute("classid") || "").toUpperCase().includes(CLSID) && isControl(o)) return o;
    }
  }
  if (typeof g.ActiveXObject === "undefined") return null;
  if (doc?.body) {
    // An <object> element the browser initialises as it does the page's
    // own; a control made by ActiveXObject alone has no page to judge.
    const made = doc.createElement("object");
    made.style.display = "none";
    made.setAttribute("classid", "clsid:" + CLSID);
    doc.body.appendChild(made);
    if (isControl(made)) return made;
    doc.body.removeChild(made);
  }
  try {
    return new g.ActiveXObject(PROGID);
  } catch {
    return null;
  }
}

/** The way chosen as the ES3 tessarn.js chooses it: the control where the browser hosts it, the extension elsewhere. */
export function defaultTransport(): Transport {
  const control = findControl();
  if (control) return controlTransport(control);
  if (typeof window === "undefined") {
    throw new TypeError("No window: pass a transport (createMockTransport from \"@zorv/tessarn/mock\" in tests).");
  }
  return extensionTransport(window);
}
