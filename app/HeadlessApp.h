#pragma once

#include "audio/SoundChannel.h"

#include <QString>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace halvix {

class Bell;
class SingleInstance;
struct Invocation;

// Writes `text` to `stream` as one or more lines; nothing for an empty text.
void printText(std::FILE* stream, const QString& text);

// Help, the version and bad usage are printed at once, and the exit code returned; none for a run.
std::optional<int> answerAtOnce(const Invocation& invocation);

// The folder of the database and sounds: --folder, else the portable or the per-user folder.
// `problem` gets what went wrong making the per-user folder.
QString programFolder(const Invocation& invocation, std::string* problem = nullptr);

// Makes this start the folder's bell (nothing returned), or hands the plain start's request to the
// running bell (its window comes to the front) and returns the exit code. A bell still starting or
// ending is waited for (see SingleInstance::claimOrHandOver); a hung one is reported.
std::optional<int> claimOrHandOver(SingleInstance& instance, const QString& folder);

// Half a minute after the last ring or reload, when the bell has nothing urgent to do, the heap's
// free pages go back to the system (see returnFreedMemory).
void returnMemoryAfterRings(Bell& bell);

// The bell without window or tray, for a service: notices (and the day's decision) go to standard
// error, each line led by the local time; SIGTERM and SIGINT end it cleanly. Returns the exit code.
int runHeadless(const std::filesystem::path& folder, SingleInstance& instance, BellPlayers players);

// The whole service in a QCoreApplication of its own: claims the program folder (or hands over to
// the bell that holds it) and runs the bell on the players `makePlayers` makes once the application
// exists (their decoding thread needs it for its event loop). Returns the exit code.
int runHeadlessService(int argc, char* argv[], const Invocation& invocation, BellPlayers (*makePlayers)());

} // namespace halvix
