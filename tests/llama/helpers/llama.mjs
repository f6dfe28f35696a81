// A real llama.cpp server (tools/llama/build) for the page's tests, started
// and stopped through tools/llama/serve, the launcher the black-box tests use
// too: on 127.0.0.1 and a free port, stopped with its own children (a
// router's model servers). SLOTS_LLAMA_DIR names the built server's folder.
import { spawn } from 'node:child_process';
import { after } from 'node:test';
import { join } from 'node:path';
import { setTimeout as sleep } from 'node:timers/promises';
import { ROOT } from '../../browser/helpers/paths.mjs';

const SERVE = join(ROOT, 'tools', 'llama', 'serve');

/** One model of the built server's folder, then llama-server's `more`. */
export const modelArgs = (name, ...more) => ['--model', name, ...more];

/** A router over models of these names (each the small model). */
export const routerArgs = (names) => ['--router', names.join(',')];

// Runs the launcher; resolves to it once the server is healthy.
function launch(args) {
  const child = spawn(SERVE, args, { stdio: ['pipe', 'pipe', 'pipe'] });
  child.exited = new Promise((resolve) => child.once('exit', resolve));
  // Closing its input after it ended on its own is no failure.
  child.stdin.on('error', () => {});
  let out = '';
  let err = '';
  child.stderr.on('data', (chunk) => (err += chunk));
  return new Promise((resolve, reject) => {
    child.stdout.on('data', (chunk) => {
      out += chunk;
      const port = /^\{"port":(\d+),"pid":\d+\}\n/.exec(out)?.[1];
      if (port) resolve({ child, port: Number(port) });
    });
    child.exited.then(() => reject(new Error(`llama-server did not start:\n${err}`)));
  });
}

/**
 * Starts llama-server through the launcher with `args` (see modelArgs and
 * routerArgs) and waits for /health. Returns
 * { base, port, get(path), post(path, body), stop(), start(), close() }.
 */
export async function startLlama(args) {
  let child = null;
  const api = {
    async get(path, headers = {}) {
      const r = await fetch(api.base + path, { headers });
      return { status: r.status, body: await r.json().catch(() => null) };
    },
    async post(path, body) {
      const r = await fetch(api.base + path, {
        method: 'POST',
        headers: { 'Content-Type': 'application/json' },
        body: JSON.stringify(body),
      });
      return { status: r.status, body: await r.json().catch(() => null) };
    },
    /** Starts it (again on the same port once it has one). */
    async start() {
      const started = await launch(api.port ? ['--port', String(api.port), ...args] : args);
      child = started.child;
      api.port = started.port;
      api.base = `http://127.0.0.1:${api.port}`;
      return api;
    },
    /** Stops the server; resolves once it and its own children are gone. */
    async stop() {
      if (!child || child.exitCode !== null || child.signalCode !== null) return;
      // The end of its input tells the launcher to stop the server.
      child.stdin.end();
      await child.exited;
    },
    close: () => api.stop(),
  };
  return api.start();
}

/**
 * For a test file: a function that starts a server as startLlama does; every
 * server it started is stopped when the file's tests are done.
 */
export function useLlamas() {
  const servers = [];
  after(() => Promise.all(servers.map((x) => x.close())));
  return async (args) => {
    const server = await startLlama(args);
    servers.push(server);
    return server;
  };
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
