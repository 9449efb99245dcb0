// media.js: the system's media controls (a keyboard's media keys, a headset's button, a phone's
// lock screen): the Media Session's title and picture, its play, pause and seeks as the show's
// own keys, and the show's position as the controls show it.
import { keyCode } from './keys.js';
import { lastFrameMs, show, showing } from './page.js';
import { Module, status } from './seam.js';

/**
 * The show's key as if pressed (its table's code), while the player plays.
 * @param {string} key
 */
function press(key) {
  const code = keyCode(key);
  if (showing() && code >= 0) Module.quorbelKeys.push(code);
}

/** @param {number} ms */
function seekTo(ms) {
  if (showing()) Module.quorbelSeekTo = Math.max(0, Math.min(lastFrameMs(), Math.round(ms)));
}

if ('mediaSession' in navigator && typeof MediaMetadata !== 'undefined') {
  const session = navigator.mediaSession;
  session.metadata = new MediaMetadata({
    title: 'Quorbel', artist: 'the Vantreli', album: 'A real-time show',
    artwork: [{ src: 'preview.png', sizes: '1200x900', type: 'image/png' }],
  });
  /** @type {[MediaSessionAction, MediaSessionActionHandler][]} */
  const actions = [
    ['play', () => { if (status.stage === 'paused') press(' '); }],
    ['pause', () => { if (status.stage === 'show') press(' '); }],
    ['seekbackward', (details) => seekTo(status.showMs - 1000 * (details.seekOffset || 5))],
    ['seekforward', (details) => seekTo(status.showMs + 1000 * (details.seekOffset || 5))],
    ['seekto', (details) => seekTo(1000 * (details.seekTime || 0))],
    ['previoustrack', () => press('PageUp')],
    ['nexttrack', () => press('PageDown')],
  ];
  for (const [action, handler] of actions) {
    try {
      session.setActionHandler(action, handler);
    } catch {
      // A browser without this action: its controls do not show it.
    }
  }
  let shownStage = '', shownSecond = -1;
  const tick = () => {
    const second = Math.floor(status.showMs / 1000);
    // The position at each change of stage (a pause, a seek) and once a second of show time: the
    // system's controls run the clock on between.
    if (status.stage !== shownStage || second !== shownSecond) {
      session.playbackState = status.stage === 'show' ? 'playing' : showing() ? 'paused' : 'none';
      if (showing()) {
        session.setPositionState({ duration: show.lengthMs / 1000, playbackRate: 1,
                                   position: Math.min(status.showMs, show.lengthMs) / 1000 });
      }
    }
    shownStage = status.stage;
    shownSecond = second;
    requestAnimationFrame(tick);
  };
  requestAnimationFrame(tick);
}
