// wake.js: the screen stays on while the show plays. A phone dims and locks after a while without
// a touch; a playing video keeps it on, a canvas with Web Audio does not: the Screen Wake Lock,
// where the browser has it, held while the show plays and let go on pause, at the end and when the
// page is hidden (the browser lets it go then itself, and it is asked for again on return).
import { status } from './seam.js';

/** @type {WakeLockSentinel | null} */
let lock = null;
let wanted = false, asking = false;

const wants = () => status.stage === 'show' && document.visibilityState === 'visible';

async function follow() {
  const now = wants();
  if (now === wanted || asking) return;
  wanted = now;
  if (!now) {
    if (lock) lock.release().catch(() => {});
    lock = null;
    status.wakeLock = 'released';
    return;
  }
  asking = true;
  try {
    lock = await navigator.wakeLock.request('screen');
    status.wakeLock = 'held';
    lock.addEventListener('release', () => {
      lock = null;
      wanted = false;
      status.wakeLock = 'released';
    });
  } catch {
    // Refused (a battery saver, the site's permissions): the screen may dim; the show plays on.
    status.wakeLock = 'refused';
  } finally {
    asking = false;
  }
  // What changed while the browser was asked.
  follow();
}

if ('wakeLock' in navigator) {
  const tick = () => {
    follow();
    requestAnimationFrame(tick);
  };
  requestAnimationFrame(tick);
  // Hidden pages get no animation frames: the lock is let go at once.
  document.addEventListener('visibilitychange', follow);
}
