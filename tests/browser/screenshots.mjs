// Takes the screenshots of docs/screenshots: the monitor in the dark and the
// light theme, with busy and with idle slots of a session, served by the real
// program under lighttpd.
//
//   node tests/browser/screenshots.mjs      (after tools/test-browser has set up)
import { mkdirSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { launchBrowser, waitForRenders } from './helpers/browser.mjs';
import { startHost } from './helpers/host.mjs';
import { ROOT } from './helpers/paths.mjs';

const busy = {
  updated_epoch: 0,
  slots: [
    {
      id: 0,
      is_processing: true,
      n_ctx: 8192,
      n_prompt_tokens: 5000,
      n_prompt_tokens_processed: 1200,
      n_decoded: 800,
      tg: 41.26,
      pp: 1234.5,
    },
    {
      id: 1,
      is_processing: true,
      n_ctx: 8192,
      n_prompt_tokens: 6900,
      n_prompt_tokens_processed: 310,
      n_decoded: 655,
      tg: 38.9,
      pp: 2210.4,
    },
    {
      id: 2,
      is_processing: true,
      n_ctx: 8192,
      n_prompt_tokens: 1210,
      n_prompt_tokens_processed: 1210,
      n_decoded: 96,
      tg: 44.7,
      pp: 1876.2,
    },
    { id: 3, is_processing: false, n_ctx: 8192 },
  ],
};
const idle = {
  updated_epoch: 0,
  slots: [0, 1, 2, 3].map((id) => ({ id, is_processing: false, n_ctx: 8192 })),
};

const root = mkdtempSync(join(tmpdir(), 'slots-shots-'));
const out = join(ROOT, 'docs', 'screenshots');
mkdirSync(out, { recursive: true });
const host = await startHost({ QV_SESSIONS_DIR: root });
const browser = await launchBrowser();
try {
  for (const [kind, answer] of [
    ['busy', busy],
    ['idle', idle],
  ]) {
    rmSync(join(root, 'chat-ui'), { recursive: true, force: true });
    mkdirSync(join(root, 'chat-ui'));
    mkdirSync(join(root, 'notes'), { recursive: true });
    const now = Math.floor(Date.now() / 1000);
    writeFileSync(
      join(root, 'chat-ui', 'slots.json'),
      JSON.stringify({ ...answer, updated_epoch: now })
    );
    for (const theme of ['dark', 'light']) {
      const page = await browser.newPage({
        clock: Date.now(),
        viewport: { width: 720, height: kind === 'busy' ? 420 : 300 },
        deviceScaleFactor: 2,
        reducedMotion: 'reduce',
      });
      await page.goto(`${host.url}?theme=${theme}`);
      await waitForRenders(page, 1);
      const file = join(out, `slots-${theme}-${kind}.png`);
      await page.screenshot({ path: file, fullPage: true });
      console.log(file);
      await page.context().close();
    }
  }
} finally {
  await browser.close();
  await host.stop();
  rmSync(root, { recursive: true, force: true });
}
