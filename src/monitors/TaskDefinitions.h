#pragma once
// What a scheduled task runs, read from its definition as the Task Scheduler stores it (an XML
// file below System32\Tasks): a second source of the tasks where the Task Scheduler cannot list
// them. Portable: the caller reads the file.

#include <string_view>
#include <vector>

#include "warnings/AutostartEntryData.h"

namespace sentrel {

// A definition's bytes as text: UTF-16 (with its byte order mark) or UTF-8 (with or without).
std::string TaskDefinitionText(std::string_view bytes);

// The exec actions of a definition: each Exec element of its Actions, with its Command, Arguments
// and WorkingDirectory, entities decoded. Read strictly and bounded: an element that does not end,
// or text past the first megabyte, ends the reading with what was read before it.
std::vector<TaskAction> TaskDefinitionExecActions(std::string_view xml);

}  // namespace sentrel
