// Where the built programs and the test data live.
import { readFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

export const ROOT = join(dirname(fileURLToPath(import.meta.url)), '..', '..', '..');
export const SLOTS_PROGRAM = join(ROOT, 'build', 'slots');
export const STAND_IN_PROGRAM = join(ROOT, 'build', 'stand_in');
export const SERVE_SCRIPT = join(ROOT, 'host', 'serve');

/** The text of a file under tests/fixtures (real llama.cpp server answers). */
export function fixture(name) {
  return readFileSync(join(ROOT, 'tests', 'fixtures', name), 'utf8');
}
