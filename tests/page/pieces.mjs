// Loads the pure pieces of the page script under node, without a browser:
// the first piece opens the function that holds the whole script, so the
// pieces are joined as the build joins them and the function is closed here,
// returning the names a test asks for. They run in a context of their own
// with nothing of a page in it (no document, window, location or fetch).
import { readFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import vm from 'node:vm';

const PAGE = join(dirname(fileURLToPath(import.meta.url)), '..', '..', 'assets', 'page');
const PURE = ['slot_math.js', 'history.js', 'address.js'];

// A result as a plain value of this realm, so that strict deep equality
// holds. URLSearchParams is this realm's own class, handed to the context.
const here = (v) => (v instanceof URLSearchParams ? v : structuredClone(v));

/** The named functions and constants of the pure pieces. */
export function pure(names) {
  const text = PURE.map((f) => readFileSync(join(PAGE, f), 'utf8')).join('');
  const source = `${text}return { ${names.join(', ')} };\n})();\n`;
  const got = vm.runInNewContext(source, vm.createContext({ URLSearchParams }), {
    filename: PURE.join('+'),
  });
  const out = {};
  for (const name of names) {
    const v = got[name];
    out[name] = typeof v === 'function' ? (...args) => here(v(...args)) : v;
  }
  return out;
}
