#pragma once

class QObject;

namespace halvix {

// Opens the sound server's default output once, with a stream of a few milliseconds of silence,
// from the event loop of `context`'s thread half a second after the call. The process's first stream pays for
// connecting to the sound server (tens of milliseconds); done here, the first bell of the day rings
// as promptly as the later ones. Only the first call of a process does anything.
void warmUpAudioOutput(QObject* context);

} // namespace halvix
