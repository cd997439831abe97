#pragma once
// Readers that keep sinks of a test server rendering in short blocks.
//
// A null sink that nobody reads at a short latency renders up to 2 s ahead and then sleeps, so
// a new recording of its monitor (or of a source remapped from it) can wait that long for its
// first sound. A record stream on the monitor that asks for 20 ms fragments keeps the sink's
// blocks short. The streams never move, so changing the default source leaves them in place.

#include <memory>
#include <string>

namespace zav::test {

class LowLatencyReaders {
 public:
  LowLatencyReaders();
  ~LowLatencyReaders();
  LowLatencyReaders(const LowLatencyReaders&) = delete;
  LowLatencyReaders& operator=(const LowLatencyReaders&) = delete;

  // Connects to the server at address ("unix:<socket>"). False when it does not answer.
  bool Connect(const std::string& address);
  // Starts reading source (a sink's monitor) and waits until the stream runs.
  bool Add(const std::string& source);
  // Ends every stream and the connection.
  void Close();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace zav::test
