// offline.js: the show playable without a network once visited: the site's service worker
// (offline/sw.js, served as sw.js) is registered, and told the files this page loaded before it
// was there to keep them.
import { playerAddress } from './address.js';
import { status } from './seam.js';

async function keepOffline() {
  const registration = await navigator.serviceWorker.register('sw.js');
  const worker = registration.active || (await navigator.serviceWorker.ready).active;
  if (!worker) return;
  navigator.serviceWorker.addEventListener('message', (event) => {
    const data = /** @type {{kept?: number, failed?: string}} */ (event.data);
    if (data.kept) status.offline = 'kept';
    else if (data.failed) console.warn(`quorbel: the files could not be kept for offline play (${data.failed})`);
  });
  const loaded = performance.getEntriesByType('resource').map((entry) => entry.name);
  const named = ['quorbel.js', 'quorbel.wasm', 'preview.png', 'manifest.webmanifest'].map((file) => new URL(file, location.href).href);
  worker.postMessage({ keep: [...new Set([location.href, ...loaded, ...named])] });
}

/** Once the show's program runs: not in the check modes, and not while its files still come. */
export function offerOffline() {
  if (!playerAddress || !('serviceWorker' in navigator) || !window.isSecureContext) return;
  keepOffline().catch((e) => console.warn(`quorbel: no offline play (${e})`));
}
