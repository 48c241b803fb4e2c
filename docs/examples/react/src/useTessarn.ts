// One Tessarn for the page, and its readiness as React state.
import { useEffect, useMemo, useState } from "react";
import { Tessarn, TessarnError, type Readiness } from "@zorv/tessarn";

export type TessarnState =
  | { state: "checking" }
  | { state: "ready"; readiness: Readiness }
  | { state: "failed"; error: TessarnError };

export function useTessarn(): [Tessarn, TessarnState] {
  const tessarn = useMemo(() => new Tessarn(), []);
  const [status, setStatus] = useState<TessarnState>({ state: "checking" });
  useEffect(() => {
    let live = true;
    tessarn.ready().then(
      (readiness) => live && setStatus({ state: "ready", readiness }),
      (error: unknown) => live && error instanceof TessarnError && setStatus({ state: "failed", error }),
    );
    return () => { live = false; };
  }, [tessarn]);
  return [tessarn, status];
}
