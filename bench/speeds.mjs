// How close the monitor's live speeds come to the server's own figures:
// ./run --url against a real llama-server (the slow random-weight model) with
// requests generating, the page open in Chromium on a real clock. For each
// request: the server's own timings.predicted_per_second, and what the page
// showed for its slot from the first few seconds on. The server's actual rate
// over the page's window, read straight from /slots meanwhile, tells the
// page's error apart from the server's own changes of pace. Printed, never
// asserted.
//
//   node bench/speeds.mjs      (SLOTS_LLAMA_DIR set; bench/speeds sets it)
import { spawn } from 'node:child_process';
import { setTimeout as sleep } from 'node:timers/promises';
import { launchBrowser } from '../tests/browser/helpers/browser.mjs';
import { ROOT } from '../tests/browser/helpers/paths.mjs';
import { modelArgs, startLlama } from '../tests/llama/helpers/llama.mjs';

const WARM_MS = 3000; // "after the first few seconds"
const WINDOW_MS = 6000; // the page's
const TOKENS = 600;

const server = await startLlama(modelArgs('slow.gguf'));
const runPort = 20000 + Math.floor(Math.random() * 20000);
const run = spawn(`${ROOT}/run`, ['--port', String(runPort), '--url', server.base], {
  stdio: ['ignore', 'pipe', 'inherit'],
  detached: true,
});
const monitor = await new Promise((resolve, reject) => {
  let out = '';
  run.stdout.on('data', (c) => {
    out += c;
    const m = /Slots Monitor: (\S+)/.exec(out);
    if (m) resolve(m[1]);
  });
  run.once('exit', () => reject(new Error(`./run ended: ${out}`)));
});
const browser = await launchBrowser();

try {
  const page = await browser.newPage();
  await page.goto(monitor);
  await sleep(2000);

  // Shown tg per slot id, with the time since that slot was first seen busy.
  const sample = () =>
    page.evaluate(() =>
      [...document.querySelectorAll('#card .sl-act-head')].map((h) => {
        const spans = [...h.children].map((c) => c.textContent);
        const m = /^tg: ([0-9.]+) t\/s$/.exec(spans[2]);
        return { id: spans[0], tg: m ? Number(m[1]) : null };
      })
    );

  async function measure(label, prompts) {
    const since = new Map();
    const shown = new Map();
    const direct = new Map(); // id -> [{t, dec}] read straight from /slots
    const errors = []; // page against the server's actual rate, same window
    let done = false;
    const own = Promise.all(
      prompts.map((prompt) =>
        server
          .post('/completion', { prompt, n_predict: TOKENS, ignore_eos: true, cache_prompt: false })
          .then((r) => ({ slot: r.body.id_slot, tps: r.body.timings.predicted_per_second }))
      )
    ).then((r) => ((done = true), r));
    // The least-squares slope of the direct readings of the last window.
    const actual = (id, now) => {
      const p = (direct.get(id) || []).filter((x) => x.t >= now - WINDOW_MS && x.dec > 0);
      if (p.length < 2) return null;
      const mt = p.reduce((a, x) => a + x.t, 0) / p.length;
      const mv = p.reduce((a, x) => a + x.dec, 0) / p.length;
      const num = p.reduce((a, x) => a + (x.t - mt) * (x.dec - mv), 0);
      const den = p.reduce((a, x) => a + (x.t - mt) ** 2, 0);
      return den > 0 ? (num / den) * 1000 : null;
    };
    while (!done) {
      const slots = (await server.get('/slots')).body || [];
      const now = Date.now();
      for (const sl of slots) {
        if (!sl.is_processing) continue;
        const id = `#${sl.id}`;
        if (!direct.has(id)) direct.set(id, []);
        direct.get(id).push({ t: now, dec: sl.next_token[0].n_decoded });
      }
      for (const { id, tg } of await sample()) {
        if (!since.has(id)) since.set(id, now);
        if (tg !== null && now - since.get(id) >= WARM_MS) {
          if (!shown.has(id)) shown.set(id, []);
          shown.get(id).push(tg);
          const truth = actual(id, now);
          if (truth) errors.push(Math.abs(tg - truth) / truth);
        }
      }
      await sleep(250);
    }
    errors.sort((a, b) => a - b);
    console.log(
      `${label.padEnd(22)} page against the actual rate of the same ${WINDOW_MS / 1000} s: ` +
        `median ${(100 * errors[errors.length >> 1]).toFixed(1)}%, worst ${(100 * errors[errors.length - 1]).toFixed(1)}%`
    );
    for (const { slot, tps } of await own) {
      const values = (shown.get(`#${slot}`) || []).sort((a, b) => a - b);
      const dev = values.map((v) => Math.abs(v - tps) / tps);
      const within = dev.filter((d) => d <= 0.15).length;
      console.log(
        `${label.padEnd(22)} slot ${slot}: server ${tps.toFixed(1)} t/s; shown ` +
          (values.length
            ? `median ${values[values.length >> 1].toFixed(1)}, range ${values[0].toFixed(1)}-${values[values.length - 1].toFixed(1)}, ` +
              `${values.length} readings, ${within} within 15% (worst ${(100 * Math.max(...dev)).toFixed(1)}%)`
            : 'nothing')
      );
    }
    await sleep(2000);
  }

  for (let i = 1; i <= 3; i++) await measure(`one request (${i})`, ['Once upon a time']);
  await measure('two at once', ['Once upon a time', 'Far away']);
} finally {
  await browser.close();
  try {
    process.kill(-run.pid, 'SIGTERM');
  } catch {}
  await server.close();
}
