// Debian's Chromium driven by playwright-core: one browser per test file,
// a fresh context (own storage, own clock) per test.
import { mkdtemp, rm } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { setTimeout as sleep } from 'node:timers/promises';
import { chromium } from 'playwright-core';

const ARGS = [
  '--headless',
  '--no-sandbox',
  '--disable-gpu',
  '--disable-background-networking',
  '--disable-component-update',
  '--disable-sync',
  '--no-first-run',
];

// Runs in every page and frame before the page's own scripts: counts the
// page's calls and its renderings, and lets a test set the visibility.
function instrument() {
  window.__calls = [];
  const realFetch = window.fetch;
  // And how many of them have no body yet.
  window.__pending = 0;
  window.fetch = function (input) {
    window.__calls.push(String(input));
    window.__pending++;
    const settled = () => window.__pending--;
    return realFetch.apply(this, arguments).then((r) => {
      r.clone().text().then(settled, settled);
      return r;
    }, (e) => {
      settled();
      throw e;
    });
  };
  // Every rendering writes the footer's time, or empties the card for a
  // message: count those.
  window.__renders = 0;
  const drawn = (r) =>
    r.target.id === 'tsLbl' || (r.target.id === 'card' && r.removedNodes.length > 0);
  new MutationObserver((records) => {
    if (records.some(drawn)) window.__renders++;
  }).observe(document, { childList: true, subtree: true });
  let visibility = 'visible';
  Object.defineProperty(Document.prototype, 'visibilityState', {
    configurable: true,
    get: () => visibility,
  });
  Object.defineProperty(Document.prototype, 'hidden', {
    configurable: true,
    get: () => visibility !== 'visible',
  });
  window.__setVisibility = (v) => {
    visibility = v;
    document.dispatchEvent(new Event('visibilitychange'));
  };
}

export async function launchBrowser() {
  const profile = await mkdtemp(join(tmpdir(), 'slots-chromium-'));
  const persistent = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ARGS,
  });
  const browser = persistent.browser();
  return {
    /**
     * A new page in a context of its own. `clock` (ms since 1970) installs a
     * paused clock at that time: timers then fire only when the test runs
     * the clock. `init` is one more script to run before the page's own,
     * called with `initArg`.
     */
    async newPage({ clock, init, initArg, ...options } = {}) {
      const context = await browser.newContext(options);
      await context.addInitScript(instrument);
      if (init) await context.addInitScript(init, initArg);
      if (clock !== undefined) {
        await context.clock.install({ time: clock });
        await context.clock.pauseAt(clock);
      }
      const page = await context.newPage();
      return page;
    },
    async close() {
      await persistent.close();
      await rm(profile, { recursive: true, force: true });
    },
  };
}

/** Polls `fn` in the page until it returns something truthy, and returns that. */
export async function waitFor(page, fn, arg, what = 'the page') {
  for (let i = 0; ; i++) {
    const value = await page.evaluate(fn, arg);
    if (value) return value;
    if (i === 2000) throw new Error(`gave up waiting for ${what}`);
    await sleep(20);
  }
}

/** Waits until the page has rendered at least `count` times. */
export function waitForRenders(page, count) {
  return waitFor(page, (n) => window.__renders >= n, count, `${count} renderings`);
}

/** Everything the monitor shows, read from the page. */
export function pageState(page) {
  return page.evaluate(() => {
    const $ = (id) => document.getElementById(id);
    const shown = (e) => e.style.display !== 'none';
    const card = $('card');
    const message = card.querySelector(':scope > .sl-msg, :scope > .sl-err');
    return {
      dot: $('dot').className,
      title: $('title').textContent,
      braxel: shown($('braxelBadge')),
      source: shown($('srcBadge')) ? $('srcBadge').textContent : null,
      stale: card.classList.contains('stale'),
      message: message ? `${message.className}: ${message.textContent}` : null,
      srcLbl: $('srcLbl').textContent,
      tsLbl: $('tsLbl').textContent,
      slots: [...card.querySelectorAll(':scope > .sl-slot')].map((block) => {
        const bar = block.querySelector(':scope > .sl-bar');
        return {
          rows: [...block.querySelectorAll(':scope > .sl-row')].map((row) => ({
            cls: row.className,
            // A span's text, after its class and a bar when it has one.
            spans: [...row.children].map(
              (s) => (s.className ? `${s.className}|` : '') + s.textContent
            ),
            text: row.textContent,
          })),
          bar: bar ? { cls: bar.className, width: bar.firstElementChild.style.width } : null,
        };
      }),
      children: card.children.length,
      renders: window.__renders,
      calls: window.__calls.slice(),
    };
  });
}

/** What the overview shows, group by group. */
export function overviewState(page) {
  return page.evaluate(() =>
    [...document.querySelectorAll('#card .ov-group')].map((g) => {
      const $ = (sel) => g.querySelector(sel);
      const err = $('.ov-body > .sl-err');
      return {
        name: $('.ov-name').textContent,
        href: $('.ov-name').getAttribute('href'),
        state: $('.ov-state').textContent,
        count: $('.ov-count').textContent,
        speed: $('.ov-speed').textContent,
        // The heading chart's points drawn, each [x, y].
        points: Array.from($('.chart')._points || []).flatMap((v, i, all) => (i % 2 ? [] : [[v, all[i + 1]]])),
        slots: g.querySelectorAll('.ov-body > .sl-slot').length,
        stalled: g.querySelectorAll('.sl-stalled').length,
        message: err ? err.textContent : null,
      };
    })
  );
}

/** The calls of one kind ('slots' or 'sessions') the page made so far. */
export async function callsOf(page, action) {
  const calls = await page.evaluate(() => window.__calls.slice());
  return calls.filter((c) => new URL(c, 'http://x').searchParams.get('action') === action);
}
