#pragma once

#include "keyring_trouble.h"
#include "send_outcome.h"

#include <QString>

// The user's words for a send: what the checks before it refused and how
// it ended. The window's boxes, talvenor-send's messages and the settings
// window all take their texts from here; below it a failure carries only
// its kind and the server's or the system's own words.
namespace SendReport {

// The caption of a setting that goes into command lines, as the settings
// window shows it.
QString caption(SendFailure::Setting setting);

// Why the keyring gave no password or kept none: its own words, or ours
// where it has none.
QString keyringWords(const KeyringTrouble& trouble);

// The text of the box a failure gets (talvenor-send prints it).
QString failureText(const SendFailure& failure);

// The text of the box a check refuses with; empty when it refuses nothing
// (for TextUnmappable: the characters, without the question).
QString refusalText(const SendCheck& check);

}  // namespace SendReport
