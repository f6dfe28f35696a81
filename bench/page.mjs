// The page's own cost: main-thread time (script, layout, style, from the
// DevTools protocol's Performance metrics) per poll at 64 and 512 busy slots,
// in the one-source view (one server) and in the overview (eight configured
// servers, their slots shared out), and its JS heap over a long run at 64
// busy slots in each view, in Debian's Chromium through the real CGI host.
// The clock is paused and run poll by poll, so a "minute" is 40 polls
// however long the machine takes for them.
//
//   node bench/page.mjs [POLLS_PER_SIZE] [LONG_POLLS]
import { launchBrowser, waitFor } from '../tests/browser/helpers/browser.mjs';
import { startHost } from '../tests/browser/helpers/host.mjs';
import { startAnswers } from '../tests/browser/helpers/stand_in_http.mjs';

const POLLS = Number(process.argv[2] || 60);
const LONG = Number(process.argv[3] || 400); // 10 minutes at one poll per 1.5 s
const POLL_MS = 1500;

// `n` busy slots of a llama.cpp server; `step` moves their counts on.
function slots(n, step) {
  return Array.from({ length: n }, (_, id) => ({
    id, id_task: 1000 + id, n_ctx: 8192, is_processing: true,
    n_prompt_tokens: 900 + step, n_prompt_tokens_processed: 900, n_decoded: 10 * step + id,
  }));
}

async function metrics(cdp) {
  const { metrics: list } = await cdp.send('Performance.getMetrics');
  const m = Object.fromEntries(list.map((x) => [x.name, x.value]));
  return {
    main: (m.ScriptDuration + m.LayoutDuration + m.RecalcStyleDuration) * 1000,
    layouts: m.LayoutCount,
    heap: m.JSHeapUsedSize,
  };
}

const SERVERS = 8;

// Opens the page (one server `name`, or with `overview` the eight servers
// `name0`..`name7` of the host) at `n` busy slots and runs it `polls` polls,
// the answers changing every poll; returns the main-thread time and the
// layouts of each poll, and the heap after the polls listed in `heapAt`.
async function run(browser, host, answers, name, n, polls, { overview = false, heapAt = [] } = {}) {
  const names = overview ? Array.from({ length: SERVERS }, (_, i) => `${name}${i}`) : [name];
  const answer = (step) => {
    for (const each of names) answers.slots(each, slots(n / names.length, step));
  };
  answer(0);
  const page = await browser.newPage({ clock: Date.now() });
  await page.goto(overview ? host.url : `${host.url}?url=${encodeURIComponent(answers.address(name))}`);
  // Every source drawn once.
  await waitFor(
    page,
    (k) => window.__renders >= 1 && (k === 1 || document.querySelectorAll('#card .ov-group').length === k),
    names.length
  );
  const cdp = await page.context().newCDPSession(page);
  await cdp.send('Performance.enable');
  const times = [];
  const layouts = [];
  const heaps = {};
  for (let i = 1; i <= polls; i++) {
    answer(i);
    // Every answer in, so that the timer asks every source again.
    await waitFor(page, () => window.__pending === 0);
    // The test harness's list of calls is emptied, so that only the page's
    // own memory is measured.
    const [calls, renders] = await page.evaluate(() => {
      window.__calls.length = 0;
      return [0, window.__renders];
    });
    const before = await metrics(cdp);
    await page.clock.runFor(POLL_MS);
    // Every source asked again, and its answer drawn (the overview draws
    // the answers of a poll together).
    await waitFor(
      page,
      ([c, r, k]) => window.__calls.length >= c + k && window.__renders > r && window.__pending === 0,
      [calls, renders, names.length]
    );
    const after = await metrics(cdp);
    times.push(after.main - before.main);
    layouts.push(after.layouts - before.layouts);
    if (heapAt.includes(i)) {
      await cdp.send('HeapProfiler.collectGarbage');
      heaps[i] = (await metrics(cdp)).heap;
    }
  }
  await page.close();
  return { times, layouts, heaps };
}

const median = (v) => [...v].sort((a, b) => a - b)[Math.floor(v.length / 2)];

const answers = await startAnswers();
const fleet = (name) =>
  Array.from({ length: SERVERS }, (_, i) => `${name}${i}=${answers.address(`${name}${i}`)}`).join(' ');
const [browser, host, o64, o512, longHost] = await Promise.all([
  launchBrowser(),
  startHost(),
  startHost({ QV_LLAMA_SERVERS: fleet('o64') }),
  startHost({ QV_LLAMA_SERVERS: fleet('o512') }),
  startHost({ QV_LLAMA_SERVERS: fleet('long') }),
]);
try {
  console.log('view         slots  polls  main thread per poll, median  p90       layouts a poll');
  for (const [view, overview] of [
    ['one source', false],
    ['overview', true],
  ]) {
    for (const n of [64, 512]) {
      const name = overview ? `o${n}` : `s${n}`;
      const on = overview ? { 64: o64, 512: o512 }[n] : host;
      const { times, layouts } = await run(browser, on, answers, name, n, POLLS, { overview });
      const sorted = [...times].sort((a, b) => a - b);
      console.log(`${view.padEnd(11)}  ${String(n).padStart(5)}  ${String(POLLS).padStart(5)}  ` +
        `${median(times).toFixed(2).padStart(8)} ms  ${sorted[Math.floor(sorted.length * 0.9)].toFixed(2).padStart(5)} ms  ` +
        `${median(layouts)}`);
    }
  }
  // The heap over a long run at 64 busy slots, in each view.
  const half = Math.round(LONG / 2);
  const mib = (b) => (b / 1048576).toFixed(2);
  for (const [view, overview, name] of [
    ['one source', false, 'long1'],
    ['overview', true, 'long'],
  ]) {
    const { heaps } = await run(browser, overview ? longHost : host, answers, name, 64, LONG, {
      overview,
      heapAt: [40, half, LONG],
    });
    const pct = (b) => `${(((b / heaps[40]) - 1) * 100).toFixed(1)} %`;
    console.log(`JS heap, ${view}, 64 busy slots, after 40 polls (1 min): ${mib(heaps[40])} MiB; ` +
      `after ${half}: ${mib(heaps[half])} MiB (${pct(heaps[half])}); ` +
      `after ${LONG}: ${mib(heaps[LONG])} MiB (${pct(heaps[LONG])})`);
  }
} finally {
  await Promise.all([browser.close(), answers.close(), host.stop(), o64.stop(), o512.stop(), longHost.stop()]);
}
