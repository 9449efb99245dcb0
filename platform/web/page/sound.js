// sound.js: the soundtrack, one buffer played from a moment; the audio context runs while the
// player wants sound and nothing holds the show. A state the page did not ask for (the system
// suspended the context: a call, another app) holds the show until the context runs again.
import { held, showHeld } from './hold.js';
import { lastFrameMs } from './page.js';
import { Module, status } from './seam.js';

const sound = {
  /** @type {AudioBuffer | null} */ buffer: null,
  /** @type {AudioBufferSourceNode | null} */ source: null,
  startMs: 0,    // where the sound starts, before it plays
  fromMs: 0,     // the show time the source started from,
  heardFrom: 0,  // heard from this time of the context
  wanted: true,  // the player plays (not paused)
  pending: 0,    // resumes and suspends asked for and not yet settled
  /** @type {{ms: number, at: number} | null} */ standing: null,
  ran: false,    // the context ran once: a later stop is an interruption
};

/**
 * Sound placed or wanted while the context was not running stands still while the show's clock
 * runs (a resume takes a while on a busy machine): once the context runs, the sound goes where
 * the show is.
 * @param {number} ms
 */
function standingSince(ms) {
  const audio = Module.quorbelAudio;
  sound.standing = audio && audio.state !== 'running' ? { ms, at: performance.now() } : null;
}

function catchUpSound() {
  const standing = sound.standing;
  sound.standing = null;
  if (!standing || !sound.wanted || held.context !== 0 || !sound.source) return;
  const ms = standing.ms + (performance.now() - standing.at);
  if (ms > standing.ms + 20) Module.quorbelSoundFrom(Math.min(ms, lastFrameMs()));
}

Module.quorbelPlaySound = function (buffer) {
  sound.buffer = buffer;
  Module.quorbelSoundFrom(sound.startMs);
  status.audio = 'playing';
};

// A new source from ms: a source cannot be moved once started. Before the sound plays, the
// moment it will start from.
Module.quorbelSoundFrom = function (ms) {
  const audio = Module.quorbelAudio;
  if (!audio || !sound.buffer) {
    sound.startMs = ms;
    return;
  }
  if (sound.source) sound.source.stop();
  sound.source = audio.createBufferSource();
  sound.source.buffer = sound.buffer;
  sound.source.connect(audio.destination);
  sound.source.start(0, Math.min(ms / 1000, sound.buffer.duration));
  // The samples reach the speaker this much after the context's clock passes them.
  sound.heardFrom = audio.currentTime + (audio.outputLatency || audio.baseLatency || 0);
  sound.fromMs = ms;
  Module.quorbelHeardAt = sound.heardFrom;
  standingSince(ms);
};

Module.quorbelSoundMs = function () {
  const audio = Module.quorbelAudio;
  if (!audio || !sound.source) return -1;
  return sound.fromMs + Math.max(0, audio.currentTime - sound.heardFrom) * 1000;
};

// The sound's time and the show's come apart where the page's clock ran on while the sound could
// not follow (frozen in the back/forward cache), or the sound ran on while no animation frame
// came (the tab hidden as the music started): the sound is put where the picture is. Only while
// the context runs and nothing else moves the sound. In step, the picture is ahead of what is
// heard by up to the output's latency (a seek does not wait for its sound to reach the speaker),
// which may be large (a wireless headset's): more than that is drift.
const driftLimitMs = 150;
Module.quorbelSoundInStep = function (ms) {
  const audio = Module.quorbelAudio;
  if (!audio || !sound.source || !sound.wanted || sound.standing || sound.pending || audio.state !== 'running' ||
      held.context !== 0 || held.soundInterrupted) return;
  const aheadMs = ms - (sound.fromMs + (audio.currentTime - sound.heardFrom) * 1000);
  const latencyMs = 1000 * (audio.outputLatency || audio.baseLatency || 0);
  if (aheadMs >= -driftLimitMs && aheadMs <= latencyMs + driftLimitMs) return;
  Module.quorbelSoundFrom(Math.min(ms, lastFrameMs()));
  status.soundMoved = (status.soundMoved ?? 0) + 1;
};

Module.quorbelStopSound = function () {
  if (sound.source) sound.source.stop();
  sound.source = null;
  if (status.audio === 'playing') status.audio = 'stopped';
};

Module.quorbelWantSound = function (on) {
  sound.wanted = on;
  if (on && sound.source) standingSince(Module.quorbelSoundMs());
  else sound.standing = null;
  keepAudio();
};

/** @param {'resume' | 'suspend'} what */
function askAudio(what) {
  const audio = /** @type {AudioContext} */ (Module.quorbelAudio);
  ++sound.pending;
  audio[what]().catch(() => {}).finally(() => {
    --sound.pending;
    judgeAudio();
  });
}

/** The context runs or not as the player and the holds want. */
export function keepAudio() {
  const audio = Module.quorbelAudio;
  if (!audio || sound.pending || audio.state === 'closed') return;
  const run = sound.wanted && held.context === 0 && !held.soundInterrupted;
  if (run && audio.state !== 'running') askAudio('resume');
  else if (!run && audio.state === 'running') askAudio('suspend');
}

// After the context changed state, or a change the page asked for settled.
function judgeAudio() {
  const audio = Module.quorbelAudio;
  if (!audio || sound.pending) return;
  if (audio.state === 'running') {
    sound.ran = true;
    catchUpSound();
  }
  // A context that never ran (no sound device) is no interruption: the show went on without it.
  if (audio.state === 'running' || audio.state === 'closed') held.soundInterrupted = false;
  else if (sound.wanted && held.context === 0 && sound.ran) held.soundInterrupted = true;
  keepAudio();
  showHeld();
}

/** A viewer's gesture may end an interruption the system will not end by itself. */
export function retryAudio() {
  if (held.soundInterrupted && !sound.pending) askAudio('resume');
}

/** The audio context, made in the question's answer: the gesture browsers ask for. */
export function startAudio() {
  const AudioContextClass = window.AudioContext ||
    /** @type {{webkitAudioContext?: typeof AudioContext}} */ (/** @type {unknown} */ (window)).webkitAudioContext;
  if (!AudioContextClass) return;
  try {
    Module.quorbelAudio = new AudioContextClass();
    Module.quorbelAudio.addEventListener('statechange', judgeAudio);
    askAudio('resume');
    status.audio = 'started';
  } catch (e) {
    console.warn('quorbel: no audio: ' + e);
  }
}
