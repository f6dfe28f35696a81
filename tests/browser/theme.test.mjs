// The page's theme: how the head script settles it and the embedded mode,
// the two token sets, the theme bridge towards a host frame, and the theme
// button.
import assert from 'node:assert/strict';
import { describe, it } from 'node:test';
import { waitFor, waitForRenders } from './helpers/browser.mjs';
import { useSetup } from './helpers/setup.mjs';

const s = useSetup();

// Seeds the stored theme before the page's scripts run ('keep' leaves it
// alone, null removes it), and records what the page stores, the "bot-theme"
// events and the theme requests posted to it.
function spy(stored) {
  if (stored === null) localStorage.removeItem('bot_theme');
  else if (stored !== 'keep') localStorage.setItem('bot_theme', stored);
  window.__stores = [];
  const setItem = Storage.prototype.setItem;
  Storage.prototype.setItem = function (key, value) {
    window.__stores.push(`${key}=${value}`);
    return setItem.call(this, key, value);
  };
  window.__events = [];
  window.addEventListener('bot-theme', (e) => window.__events.push(e.detail));
  window.__requests = [];
  window.addEventListener('message', (e) => {
    if (e.data && e.data.type === 'qv-theme-request') window.__requests.push(e.data);
  });
}

async function openRaw(query, { stored = null, ...options } = {}) {
  const page = await s.browser.newPage({ init: spy, initArg: stored, ...options });
  await page.goto(`${s.host.url}${query}`);
  return page;
}

// Loads the page again in the same context, with `stored` as the stored
// theme (null: none) and `scheme` as the system preference.
async function revisit(page, query, { stored = null, scheme = 'dark' } = {}) {
  await page.evaluate((v) => {
    if (v === null) localStorage.removeItem('bot_theme');
    else localStorage.setItem('bot_theme', v);
  }, stored);
  await page.emulateMedia({ colorScheme: scheme });
  await page.goto(`${s.host.url}${query}`);
}

const themeState = (page) =>
  page.evaluate(() => ({
    theme: document.documentElement.getAttribute('data-theme'),
    stored: localStorage.getItem('bot_theme'),
    embedded: document.documentElement.classList.contains('embedded'),
    stores: window.__stores,
    events: window.__events,
  }));

describe('theme bootstrap', () => {
  it('takes the address, then the stored theme, then the system preference', async () => {
    // [query, stored, system preference, theme]
    const cases = [
      ['?theme=dark', 'light', 'light', 'dark'],
      ['?theme=light', 'dark', 'dark', 'light'],
      ['?theme=Dark', 'light', 'dark', 'light'],
      ['?theme=Dark', null, 'light', 'light'],
      ['?theme=LIGHT', null, 'dark', 'dark'],
      ['?theme=lighter', 'dark', 'dark', 'light'],
      ['?theme=darkest', 'light', 'light', 'dark'],
      ['?a=1&theme=light&theme=dark', null, 'dark', 'light'],
      ['?xtheme=light', null, 'dark', 'dark'],
      ['?theme=%6Cight', null, 'dark', 'dark'],
      ['', 'light', 'dark', 'light'],
      ['', 'blue', 'light', 'light'],
      ['', null, 'light', 'light'],
      ['', null, 'dark', 'dark'],
      ['?embed=1', null, 'dark', 'dark'],
    ];
    const page = await openRaw('', { stored: 'keep' });
    for (const [query, stored, scheme, theme] of cases) {
      const label = `${query} stored=${stored} system=${scheme}`;
      await revisit(page, query, { stored, scheme });
      const got = await themeState(page);
      assert.equal(got.theme, theme, label);
      assert.equal(got.stored, theme, label);
      assert.deepEqual(got.stores.slice(0, 1), [`bot_theme=${theme}`], label);
    }
    await page.context().close();
  });

  it('is embedded only for embed=1 or embed=true, ended by & or the end', async () => {
    const cases = [
      ['?embed=1', true],
      ['?embed=true', true],
      ['?embed=true&theme=light', true],
      ['?theme=light&embed=1', true],
      ['?embed=1x', false],
      ['?embed=yes', false],
      ['?embed=0', false],
      ['?embed=TRUE', false],
      ['?xembed=1', false],
      ['', false],
    ];
    const page = await openRaw('', { stored: 'keep' });
    for (const [query, embedded] of cases) {
      await revisit(page, query);
      assert.equal((await themeState(page)).embedded, embedded, query);
    }
    await page.context().close();
  });

  it('hides the theme button and widens the layout when embedded', async () => {
    const layout = async (query) => {
      const page = await openRaw(query);
      const got = await page.evaluate(() => {
        const style = (e) => getComputedStyle(e);
        const wrap = style(document.querySelector('.wrap'));
        return {
          toggle: style(document.getElementById('themeToggle')).display,
          refresh: style(document.getElementById('btnRefresh')).display,
          maxWidth: wrap.maxWidth,
          padding: wrap.padding,
          gap: wrap.rowGap,
        };
      });
      await page.context().close();
      return got;
    };
    assert.deepEqual(await layout('?embed=true'), {
      toggle: 'none',
      refresh: 'flex',
      maxWidth: 'none',
      padding: '10px 12px 14px',
      gap: '8px',
    });
    assert.deepEqual(await layout(''), {
      toggle: 'flex',
      refresh: 'flex',
      maxWidth: '680px',
      padding: '14px 16px 24px',
      gap: '10px',
    });
  });

  it('still works when storage or media queries fail', async () => {
    const noStorage = () =>
      Object.defineProperty(window, 'localStorage', {
        get() {
          throw new DOMException('denied', 'SecurityError');
        },
      });
    const noMedia = () => {
      window.matchMedia = undefined;
    };
    const cases = [
      ['?theme=light', noStorage, 'dark', 'light'],
      ['', noStorage, 'light', 'light'],
      ['', noMedia, 'light', 'dark'],
    ];
    for (const [query, init, scheme, theme] of cases) {
      const page = await s.browser.newPage({ init, colorScheme: scheme });
      const errors = [];
      page.on('pageerror', (e) => errors.push(e.message));
      await page.goto(`${s.host.url}${query}`);
      await waitForRenders(page, 1);
      const got = await page.evaluate(() => document.documentElement.getAttribute('data-theme'));
      assert.equal(got, theme, `${query} ${init.name}`);
      if (init === noStorage) {
        // The button still changes the theme, for this page only.
        await page.getByRole('button', { name: 'Theme' }).click();
        const next = await page.evaluate(() => document.documentElement.getAttribute('data-theme'));
        assert.equal(next, theme === 'light' ? 'dark' : 'light');
      }
      assert.deepEqual(errors, []);
      await page.context().close();
    }
  });
});

describe('token sets', () => {
  // [token, dark value, light value]; '=--x' means "the value of --x".
  const TOKENS = [
    ['--bg', '#000000', '#f5f5f7'],
    ['--bg-2', '#08080a', '#ffffff'],
    ['--bg-card', '#1c1c1e', '#ffffff'],
    ['--surface-2', 'rgba(255,255,255,.06)', 'rgba(0,0,0,.04)'],
    ['--surface-hover', 'rgba(255,255,255,.05)', '#ffffff'],
    ['--line', 'rgba(255,255,255,.08)', 'rgba(0,0,0,.06)'],
    ['--line-2', 'rgba(255,255,255,.16)', 'rgba(0,0,0,.12)'],
    ['--border', 'rgba(255,255,255,.08)', 'rgba(0,0,0,.06)'],
    ['--text', '#f5f5f7', '#1d1d1f'],
    ['--text-2', '#86868b', '#6e6e73'],
    ['--dim', '#86868b', '#6e6e73'],
    ['--blue', '#0a84ff', '#007aff'],
    ['--green', '#30d158', '#34c759'],
    ['--orange', '#ff9f0a', '#ff9500'],
    ['--red', '#ff453a', '#ff3b30'],
    ['--gray', '#8e8e93', '#8e8e93'],
    ['--indigo', '#5e5ce6', '#5856d6'],
    ['--teal', '#64d2ff', '#32ade6'],
    ['--purple', '#bf5af2', '#af52de'],
    ['--yellow', '#ffd60a', '#b8860b'],
    ['--input-bg', 'rgba(255,255,255,.04)', '#f5f5f7'],
    ['--modal-bg', '#1c1c1e', '#ffffff'],
    ['--menu-bg', '#1c1c1e', '#ffffff'],
    ['--code-bg', 'rgba(255,255,255,.06)', 'rgba(0,0,0,.05)'],
    ['--mono', "'SF Mono', ui-monospace, Menlo, Consolas, 'DejaVu Sans Mono', monospace"],
    [
      '--font',
      "-apple-system, BlinkMacSystemFont, 'SF Pro Display', 'SF Pro Text', 'Inter', " +
        "'Segoe UI', Roboto, Helvetica, Arial, sans-serif",
    ],
    ['--shadow', '0 1px 2px rgba(0,0,0,.35)', '0 2px 10px rgba(0,0,0,.03)'],
    [
      '--shadow-lg',
      '0 30px 80px rgba(0,0,0,.65), 0 0 0 1px rgba(255,255,255,.04)',
      '0 30px 80px rgba(0,0,0,.18), 0 0 0 1px rgba(0,0,0,.04)',
    ],
    ['--ease', 'cubic-bezier(.16,1,.3,1)'],
    ['--surface', '=--bg-card'],
    ['--surface2', '=--surface-2'],
    ['--muted', '=--text-2'],
    ['--accent', '=--blue'],
    ['--accent2', '=--green'],
    ['--accent-dim', '#0071e3', '#0066d6'],
    ['--danger', '=--red'],
    ['--err', '=--red'],
    ['--warn', '=--orange'],
    ['--ok', '=--green'],
  ];
  const norm = (v) => v.replace(/\s+/g, '').toLowerCase();

  function expected(set) {
    const values = {};
    for (const [name, dark, light = dark] of TOKENS) {
      const value = set === 'dark' ? dark : light;
      values[name] = value.startsWith('=') ? values[value.slice(1)] : norm(value);
    }
    return values;
  }

  const readTokens = (page) =>
    page.evaluate((names) => {
      const style = getComputedStyle(document.documentElement);
      return {
        values: Object.fromEntries(names.map((n) => [n, style.getPropertyValue(n)])),
        scheme: style.colorScheme,
      };
    }, TOKENS.map((t) => t[0]));

  it('defines every token in both sets, and the attribute decides', async () => {
    // [query, system preference, token set]
    const cases = [
      ['?theme=dark', 'dark', 'dark'],
      ['?theme=light', 'dark', 'light'],
      ['?theme=dark', 'light', 'dark'],
      ['?theme=light', 'light', 'light'],
    ];
    const page = await openRaw('', { stored: 'keep' });
    for (const [query, scheme, set] of cases) {
      await revisit(page, query, { scheme });
      const got = await readTokens(page);
      const values = Object.fromEntries(Object.entries(got.values).map(([k, v]) => [k, norm(v)]));
      assert.deepEqual(values, expected(set), `${query} under ${scheme}`);
      assert.equal(got.scheme, set);
    }
    await page.context().close();
  });

  it('follows the system preference when the attribute is missing', async () => {
    const page = await openRaw('', { stored: 'keep' });
    for (const scheme of ['light', 'dark']) {
      await revisit(page, '', { scheme });
      await page.evaluate(() => document.documentElement.removeAttribute('data-theme'));
      const got = await readTokens(page);
      assert.equal(norm(got.values['--bg']), expected(scheme)['--bg'], scheme);
      assert.equal(got.scheme, scheme);
    }
    await page.context().close();
  });

  it('switches off transitions under a reduced-motion preference', async () => {
    for (const [motion, duration] of [
      ['reduce', '0s'],
      ['no-preference', '0.25s'],
    ]) {
      const page = await openRaw('', { reducedMotion: motion });
      const got = await page.evaluate(() => {
        const bar = document.createElement('div');
        bar.className = 'sl-bar';
        bar.appendChild(document.createElement('i'));
        document.getElementById('card').appendChild(bar);
        return ['dot', 'card'].map((id) => document.getElementById(id)).concat(bar.firstChild)
          .map((e) => getComputedStyle(e).transitionDuration);
      });
      // The context bar jumps to its width: animating it relaid the card
      // every frame.
      assert.deepEqual(got, [duration, duration, '0s'], motion);
      await page.context().close();
    }
  });
});

describe('theme bridge', () => {
  it('applies themes from calls and messages, and ignores other words', async () => {
    const page = await openRaw('?theme=dark');
    const apply = (t) => page.evaluate((theme) => window.qvApplyTheme(theme), t);
    const qvTheme = () => page.evaluate(() => window.qvTheme());
    const post = (data) => page.evaluate((d) => window.postMessage(d, '*'), data);
    const themeIs = (t) =>
      waitFor(page, (want) => document.documentElement.getAttribute('data-theme') === want, t);

    assert.equal(await qvTheme(), 'dark');
    await apply('light');
    assert.equal(await qvTheme(), 'light');
    await apply('light');
    for (const word of ['Dark', 'blue', '', null, undefined]) await apply(word);
    let got = await themeState(page);
    assert.equal(got.theme, 'light');
    assert.deepEqual(got.stores, ['bot_theme=dark', 'bot_theme=light']);
    assert.deepEqual(got.events, ['light']);

    await post({ type: 'qv-theme', theme: 'dark' });
    await themeIs('dark');
    // Ignored: the current theme, other words, other types, other shapes.
    await post({ type: 'qv-theme', theme: 'dark' });
    await post({ type: 'qv-theme', theme: 'sepia' });
    await post({ type: 'other', theme: 'light' });
    await post('qv-theme');
    await post(null);
    // Messages arrive in order: once this one is applied, the others were seen.
    await post({ type: 'qv-theme', theme: 'light' });
    await themeIs('light');
    got = await themeState(page);
    assert.deepEqual(got.events, ['light', 'dark', 'light']);
    assert.deepEqual(got.stores, [
      'bot_theme=dark',
      'bot_theme=light',
      'bot_theme=dark',
      'bot_theme=light',
    ]);

    // A page of its own asks nobody for a theme.
    assert.deepEqual(await page.evaluate(() => window.__requests), []);

    for (const odd of [null, 'blue']) {
      const answer = await page.evaluate((v) => {
        if (v === null) document.documentElement.removeAttribute('data-theme');
        else document.documentElement.setAttribute('data-theme', v);
        return window.qvTheme();
      }, odd);
      assert.equal(answer, 'dark', String(odd));
    }
    await page.context().close();
  });

  it('asks its parent frame for the theme once, and takes the answer', async () => {
    const frameUrl = `${s.host.url}?embed=1&theme=dark`;
    s.answers.serve(
      '/parent.html',
      `<!DOCTYPE html><title>host</title><script>
      window.got = [];
      addEventListener('message', (e) => {
        if (e.source === frames[0]) got.push(e.data);
      });
      </script><iframe src='${frameUrl}' width='600' height='400'></iframe>`
    );
    const page = await s.browser.newPage({ init: spy, initArg: null, clock: Date.now() });
    await page.goto(`${s.answers.origin}/parent.html`);
    let frame;
    while (!(frame = page.frames().find((f) => f.url().startsWith(s.host.url)))) {
      await page.waitForEvent('framenavigated');
    }
    await waitForRenders(frame, 1);
    assert.deepEqual(await page.evaluate(() => window.got), [{ type: 'qv-theme-request' }]);
    const inside = await frame.evaluate(() => ({
      toggle: getComputedStyle(document.getElementById('themeToggle')).display,
      embedded: document.documentElement.classList.contains('embedded'),
    }));
    assert.deepEqual(inside, { toggle: 'none', embedded: true });

    await page.evaluate(() => frames[0].postMessage({ type: 'qv-theme', theme: 'light' }, '*'));
    await waitFor(frame, () => document.documentElement.getAttribute('data-theme') === 'light');
    assert.deepEqual(await frame.evaluate(() => window.__events), ['light']);
    assert.deepEqual(await page.evaluate(() => window.got), [{ type: 'qv-theme-request' }]);
    await page.context().close();
  });
});

describe('theme button', () => {
  it('toggles and stores the theme without raising the event', async () => {
    const page = await openRaw('?theme=dark');
    const button = page.getByRole('button', { name: 'Theme' });
    await button.click();
    let got = await themeState(page);
    assert.deepEqual([got.theme, got.stored], ['light', 'light']);
    await button.click();
    got = await themeState(page);
    assert.deepEqual([got.theme, got.stored], ['dark', 'dark']);
    assert.deepEqual(got.events, []);
    await page.context().close();
  });

  it('stays bound in embedded mode, hidden', async () => {
    const page = await openRaw('?embed=1&theme=light');
    await page.evaluate(() => document.getElementById('themeToggle').click());
    const got = await themeState(page);
    assert.deepEqual([got.theme, got.stored, got.events], ['dark', 'dark', []]);
    await page.context().close();
  });
});
