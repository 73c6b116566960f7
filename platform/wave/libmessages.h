// The sound libraries under PortAudio (ALSA, JACK) print their own error messages on standard
// error, dozens of them at every start on a machine without a sound card. Their printers are
// routed here instead: each message goes to the sink the program sets (its trace), or nowhere.
// Standard error keeps the program's own words.
#pragma once

#include <functional>
#include <string>

namespace platform::wave {

// Where the libraries' messages go (any thread may deliver one); an empty sink drops them.
void SetSoundLibraryMessageSink(std::function<void(const std::string&)> sink);

// Installs the routing into the libraries that are loaded, and keeps JACK from starting a
// server of its own (which would print on standard error) unless the user asked otherwise.
// Called before the sound system starts; calling it again does nothing more.
void RouteSoundLibraryMessages();

}  // namespace platform::wave
