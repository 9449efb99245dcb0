// sw.js: the site's service worker, which keeps the show's files so that a page visited once plays
// without a network. The network first, so that a new version replaces the old one as soon as it
// is there (each answer kept anew); the kept files when there is none.
const sw = /** @type {ServiceWorkerGlobalScope} */ (/** @type {unknown} */ (self));
const keep = 'quorbel';

sw.addEventListener('install', () => { sw.skipWaiting(); });
sw.addEventListener('activate', (event) => { event.waitUntil(sw.clients.claim()); });

/**
 * A file fetched and kept under its path.
 * @param {Cache} cache
 * @param {string} url
 * @returns {Promise<number>}  1 kept, 0 not there or no network (what was kept stays)
 */
async function keepOne(cache, url) {
  const request = new Request(url);
  const response = await fetch(request).catch(() => null);
  if (!response || !response.ok) return 0;
  await cache.put(pathOf(request), response);
  return 1;
}

// The page names what it loaded before this worker was there to see it (page/offline.js); a file
// the site lacks (no preview picture) is left out.
sw.addEventListener('message', (event) => {
  const urls = /** @type {{keep?: string[]}} */ (event.data).keep;
  if (!Array.isArray(urls)) return;
  const sameSite = urls.filter((url) => new URL(url).origin === sw.location.origin);
  event.waitUntil(caches.open(keep).then((cache) => Promise.all(sameSite.map((url) => keepOne(cache, url)))).then(
    (kept) => event.source?.postMessage({ kept: kept.reduce((a, b) => a + b, 0) }),
    (e) => event.source?.postMessage({ failed: String(e) })));
});

/** @param {Request} request */
async function answer(request) {
  const cache = await caches.open(keep);
  try {
    const response = await fetch(request);
    if (response.ok) cache.put(pathOf(request), response.clone());
    return response;
  } catch (e) {
    const kept = await cache.match(pathOf(request));
    if (kept) return kept;
    throw e;
  }
}

// A page is kept once whatever moment its address names.
/** @param {Request} request */
const pathOf = (request) => {
  const url = new URL(request.url);
  return url.origin + (url.pathname.endsWith('/') ? url.pathname + 'index.html' : url.pathname);
};

sw.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET' || new URL(request.url).origin !== sw.location.origin) return;
  event.respondWith(answer(request));
});
