import { RESULT_TEXTS } from "./result-texts.js";

/**
 * What went wrong, when it is not a result code of the control:
 * - "NO_EXTENSION": no Tessarn control on the page and no Tessarn browser
 *   extension answered;
 * - "NO_HOST": the extension answered but its native host could not be
 *   started ("Specified native messaging host not found." in Chromium);
 * - "NO_CONTROL": the host (or the page) runs, but the Tessarn control is
 *   not installed for this user;
 * - "TIMEOUT": no answer within the call's time limit;
 * - "CALL_FAILED": the call could not be made (a wrong argument, the host
 *   ended during the call); `hresult` says more.
 */
export type TessarnFailure = "NO_EXTENSION" | "NO_HOST" | "NO_CONTROL" | "TIMEOUT" | "CALL_FAILED";

/** The texts of a code, in the languages the control has. */
export interface ResultTexts {
  readonly en: string;
  readonly cs: string;
}

const FAILURE_TEXTS: Record<TessarnFailure, ResultTexts> = {
  NO_EXTENSION: {
    en: "Neither the Tessarn control nor the Tessarn browser extension is available.",
    cs: "Není k dispozici komponenta Tessarn ani rozšíření prohlížeče Tessarn.",
  },
  NO_HOST: {
    en: "The Tessarn browser extension cannot start the Tessarn host: install Tessarn on this computer.",
    cs: "Rozšíření prohlížeče Tessarn nemůže spustit hostitele Tessarn: nainstalujte Tessarn na tento počítač.",
  },
  NO_CONTROL: {
    en: "The Tessarn control is not installed for this user.",
    cs: "Komponenta Tessarn není pro tohoto uživatele nainstalována.",
  },
  TIMEOUT: {
    en: "Tessarn did not answer in time.",
    cs: "Tessarn neodpověděl včas.",
  },
  CALL_FAILED: {
    en: "The call to Tessarn could not be made.",
    cs: "Volání komponenty Tessarn nelze provést.",
  },
};

/** A result code's English and Czech texts as the control has them, or null (codes 39 to 44 have none). */
export function resultTexts(code: number): ResultTexts | null {
  return Number.isInteger(code) && code >= 0 && code < RESULT_TEXTS.length ? RESULT_TEXTS[code] : null;
}

/** Every result code the control answers, 0 to 45. */
export const LAST_RESULT_CODE = RESULT_TEXTS.length - 1;

export interface TessarnErrorDetails {
  /** The control's method that failed. */
  method?: string;
  /** The HRESULT of a call that could not be made, "0x8002000E" and the like. */
  hresult?: string;
  /** The text the control, the extension or the browser gave. */
  detail?: string;
  /** What the control answered besides the code (CertEnum's certificates before a smart card failed). */
  partial?: unknown[];
}

/**
 * Every failure of the library: a result code of the control (`code` a
 * number, 1 to 45) or one of the failures of the way to it (`code` a
 * TessarnFailure). `message` is the English text; `english` and `czech`
 * are both texts (for codes 39 to 44, which the control has no text for,
 * "Tessarn result code N.").
 */
export class TessarnError extends Error {
  readonly code: number | TessarnFailure;
  readonly english: string;
  readonly czech: string;
  readonly method?: string;
  readonly hresult?: string;
  readonly detail?: string;
  readonly partial?: unknown[];

  constructor(code: number | TessarnFailure, details: TessarnErrorDetails = {}) {
    const texts = typeof code === "number" ? resultTexts(code) : FAILURE_TEXTS[code];
    const english = texts ? texts.en : `Tessarn result code ${code}.`;
    const czech = texts ? texts.cs : `Výsledný kód Tessarn ${code}.`;
    super(details.method ? `${details.method}: ${english}${details.detail && typeof code !== "number" ? ` (${details.detail})` : ""}` : english);
    this.name = "TessarnError";
    this.code = code;
    this.english = english;
    this.czech = czech;
    this.method = details.method;
    this.hresult = details.hresult;
    this.detail = details.detail;
    this.partial = details.partial;
    Object.setPrototypeOf(this, new.target.prototype);
  }

  /** The text in a language: "cs" for Czech, anything else English. */
  text(language: string): string {
    return language.toLowerCase().startsWith("cs") ? this.czech : this.english;
  }

  /** Whether the error is the control's result code (a number) rather than a failure of the way to it. */
  get isResultCode(): boolean {
    return typeof this.code === "number";
  }
}
