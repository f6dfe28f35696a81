// A real llama.cpp server (tools/llama/build) for the page's tests, on
// 127.0.0.1 and a free port, in a process group of its own so that a router's
// model servers stop with it. SLOTS_LLAMA_DIR names the built server's folder.
import { spawn } from 'node:child_process';
import { mkdtemp, rm, symlink } from 'node:fs/promises';
import { openSync, closeSync, readFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { setTimeout as sleep } from 'node:timers/promises';
import { freePort } from '../../browser/helpers/host.mjs';

export function llamaDir() {
  const dir = process.env.SLOTS_LLAMA_DIR;
  if (!dir) throw new Error('SLOTS_LLAMA_DIR is not set: run these tests through tools/test-llama');
  return dir;
}

export const model = (name) => join(llamaDir(), 'models', name);

/** The usual arguments for one model: two slots, a 4096 context, one thread. */
export const modelArgs = (name, ...more) => ['-m', model(name), '-np', '2', '-c', '4096', '-t', '1', ...more];

/** A folder of models for a router: each name a link to a built model. */
export async function modelsDir(names, of = 'tiny.gguf') {
  const dir = await mkdtemp(join(tmpdir(), 'slots-models-'));
  for (const name of names) await symlink(model(of), join(dir, `${name}.gguf`));
  return { dir, remove: () => rm(dir, { recursive: true, force: true }) };
}

/**
 * Starts llama-server with `args` and waits for /health. Returns
 * { base, port, get(path), post(path, body), stop(), start() }.
 */
export async function startLlama(args) {
  const logDir = await mkdtemp(join(tmpdir(), 'slots-llama-'));
  const log = join(logDir, 'server.log');
  const port = await freePort();
  const base = `http://127.0.0.1:${port}`;
  let child = null;

  const api = {
    base,
    port,
    async get(path, headers = {}) {
      const r = await fetch(base + path, { headers });
      return { status: r.status, body: await r.json().catch(() => null) };
    },
    async post(path, body) {
      const r = await fetch(base + path, {
        method: 'POST',
        headers: { 'Content-Type': 'application/json' },
        body: JSON.stringify(body),
      });
      return { status: r.status, body: await r.json().catch(() => null) };
    },
    async start() {
      const fd = openSync(log, 'a');
      child = spawn(
        join(llamaDir(), 'bin', 'llama-server'),
        ['--host', '127.0.0.1', '--port', String(port), '--no-ui', ...args],
        { stdio: ['ignore', fd, fd], detached: true }
      );
      closeSync(fd);
      const exited = new Promise((resolve) => child.once('exit', resolve));
      child.exited = exited;
      for (let i = 0; i < 600; i++) {
        const ok = await fetch(`${base}/health`).then((r) => r.status === 200, () => false);
        if (ok) return api;
        if (child.exitCode !== null) break;
        await sleep(100);
      }
      await api.stop();
      throw new Error(`llama-server did not start:\n${readFileSync(log, 'utf8').slice(-2000)}`);
    },
    async stop() {
      if (!child || child.exitCode !== null || child.signalCode !== null) return;
      const pid = child.pid;
      try {
        process.kill(-pid, 'SIGTERM');
      } catch {}
      const done = await Promise.race([child.exited.then(() => true), sleep(10000, false)]);
      try {
        process.kill(-pid, 'SIGKILL');
      } catch {}
      if (!done) await child.exited;
    },
    async close() {
      await api.stop();
      await rm(logDir, { recursive: true, force: true });
    },
  };
  return api.start();
}

/** Waits until `check` resolves truthy (at most `ms`), and returns that. */
export async function until(check, what, ms = 30000) {
  const end = Date.now() + ms;
  for (;;) {
    const value = await check();
    if (value) return value;
    if (Date.now() > end) throw new Error(`gave up waiting for ${what}`);
    await sleep(100);
  }
}
