// The page's service worker: every file of the site is kept in a cache when it is
// installed, so a page once visited plays with no network and can be installed as
// an app. Requests go to the network first and fall back to the cache, so a server
// that is there always gives its current files (a new build, or a test that serves
// a damaged file, is seen at once); each fresh response also refreshes the cache.
// The build writes the site's version into kVersion, which retires older caches.
const kVersion = '@SITE_VERSION@';
const kCache = 'glimmerfrost-' + kVersion;
// The data files are the page's: data-files.js, written by the build from the data set's manifest.
importScripts('data-files.js');
const kFiles = [
  './', 'index.html', 'glimmerfrost-page.js', 'glimmerfrost.js', 'glimmerfrost.wasm', 'data-files.js',
  'manifest.webmanifest', 'favicon.ico', 'icon-192.png', 'icon-512.png',
  ...kDataFiles.map((name) => 'data/' + name),
];

self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(kCache).then((cache) => cache.addAll(kFiles)).then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
  event.waitUntil(caches.keys()
    .then((names) => Promise.all(names.filter((n) => n.startsWith('glimmerfrost-') && n !== kCache)
      .map((n) => caches.delete(n))))
    .then(() => self.clients.claim()));
});

self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin) {
    return;
  }
  event.respondWith(fetch(request).then((response) => {
    if (response.ok) {
      const copy = response.clone();
      caches.open(kCache).then((cache) => cache.put(request, copy));
    }
    return response;
  }).catch(() => caches.match(request, { ignoreSearch: true }).then((cached) => cached || Response.error())));
});
