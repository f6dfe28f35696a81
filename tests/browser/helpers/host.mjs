// The CGI host of the tests: lighttpd, started through host/serve, running
// the built program at /slots on 127.0.0.1.
import { spawn } from 'node:child_process';
import { SERVE_SCRIPT, SLOTS_PROGRAM } from './paths.mjs';
import { freePort } from './stand_in_http.mjs';

function stopChild(child) {
  if (child.exitCode !== null || child.signalCode !== null) return Promise.resolve();
  return new Promise((resolve) => {
    child.once('exit', () => resolve());
    child.kill('SIGTERM');
  });
}

function launch(port, env) {
  const args = ['--port', String(port), '--program', SLOTS_PROGRAM];
  for (const [name, value] of Object.entries(env)) args.push('--env', `${name}=${value}`);
  const child = spawn(SERVE_SCRIPT, args, { stdio: ['ignore', 'pipe', 'pipe'] });
  let stderr = '';
  child.stderr.on('data', (chunk) => (stderr += chunk));
  return new Promise((resolve) => {
    let out = '';
    child.stdout.on('data', (chunk) => {
      out += chunk;
      if (out.includes('Slots Monitor: http://')) resolve({ child, ok: true });
    });
    child.once('exit', () => resolve({ child, ok: false, stderr }));
  });
}

/**
 * Starts lighttpd with the program mounted at /slots. `env` is the whole
 * environment of the program apart from the request (PATH is added, and the
 * multiplexer tool points nowhere unless `env` names one).
 * Returns { origin, url, stop() }.
 */
export async function startHost(env = {}) {
  const full = {
    PATH: process.env.PATH || '/usr/bin:/bin',
    VELUNORA_TMUX_BIN: '/nonexistent/velunora-tmux',
    ...env,
  };
  let last = '';
  for (let attempt = 0; attempt < 5; attempt++) {
    const port = await freePort();
    const { child, ok, stderr } = await launch(port, full);
    if (ok) {
      const origin = `http://127.0.0.1:${port}`;
      return { origin, url: `${origin}/slots`, stop: () => stopChild(child) };
    }
    last = stderr;
  }
  throw new Error(`lighttpd did not start: ${last}`);
}
