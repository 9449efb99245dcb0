// frames.js: key F's overlay: the frames shown, how regularly, and the sizes drawn at,
// refreshed twice a second.
import { $ } from './page.js';
import { status } from './seam.js';

const frames = $('frames');
let framesTimer = 0;

export function toggleFrames() {
  const on = frames.hidden;
  frames.hidden = !on;
  clearInterval(framesTimer);
  if (!on) return;
  const refresh = () => {
    frames.textContent = status.frames === undefined ? 'no frames shown yet' :
      `${status.frames} frames, interval median ${status.frameMedianMs?.toFixed(1)} ms, 99th percentile ` +
      `${status.frameP99Ms?.toFixed(1)} ms\ndrawn at ${status.size} (largest ${status.top})\n${status.sizes}`;
  };
  refresh();
  framesTimer = setInterval(refresh, 500);
}
