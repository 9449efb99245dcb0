// fullscreen.js: the whole page goes full screen, not the canvas alone, so the control bar stays
// above it. The page's button goes in and out; leaving any other way (the browser's Escape) is
// the show's Escape.
import { $ } from './page.js';
import { Module, status } from './seam.js';

let wasFullScreen = false, leavingOnPurpose = false;

export function enterFullScreen() {
  // A leave asked for before has happened (the page is not full screen), even where its event
  // comes only with this entry's, which the browser may fire together.
  leavingOnPurpose = false;
  const page = document.documentElement;
  // Full screen from the moment the browser grants it, before its event: a leave right after
  // may come in the same frame, with both events seeing the page out of full screen.
  if (page.requestFullscreen) {
    page.requestFullscreen().then(() => { wasFullScreen = true; },
                                  (e) => console.warn('quorbel: no full screen: ' + e));
  }
}

export function leaveFullScreen() {
  if (!document.fullscreenElement) return;
  leavingOnPurpose = true;
  document.exitFullscreen().catch(() => { leavingOnPurpose = false; });
}

$('full').addEventListener('click', () => {
  if (document.fullscreenElement) leaveFullScreen();
  else enterFullScreen();
});

document.addEventListener('fullscreenchange', () => {
  const full = !!document.fullscreenElement;
  $('full').setAttribute('aria-label', full ? 'Leave full screen' : 'Full screen');
  if (full) {
    wasFullScreen = true;
    return;
  }
  if (wasFullScreen && !leavingOnPurpose && status.stage !== 'ended') Module.quorbelEscape = true;
  wasFullScreen = leavingOnPurpose = false;
});
