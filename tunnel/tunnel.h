// tunnel.h: the tunnel's geometry, random path, camera and flight scene.
#pragma once

void buildTunnel();  // random path, segment geometry and tile texture; once, from initIntro
