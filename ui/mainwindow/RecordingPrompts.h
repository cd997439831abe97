#pragma once
// What the user is told when a recording does not start or stops on its own.

#include <QString>

#include <optional>

#include "RecordingController.h"

namespace zav {

struct Prompt {
  QString text;
  int width = 200;  // client size of the prompt box
  int height = 100;
};

// The prompt for a start's result; nullopt when nothing is shown (a plain start, and a format
// that is not one of the three, which ends silently).
std::optional<Prompt> PromptForStart(StartResult result);

// The prompt for a recording that stopped on a fault. What was written is kept and listed.
Prompt PromptForFault(RecordingFault fault);

// A chosen device was not there at the start and the default stood in.
std::optional<Prompt> PromptForStandIn(const StartReport& report);

// A recording stopped before any audio was recorded: no file was kept.
Prompt PromptForEmptyRecording();

// A recording whose microphone or system sound went away and was not back at its end (the
// file was kept, with silence from then on); nullopt when neither was lost.
std::optional<Prompt> PromptForLostDevices(const FinishReport& report);

}  // namespace zav
