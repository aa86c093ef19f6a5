// Events: the runtime side of raising a unit's event (the compiled handler bound to it in the
// window template runs synchronously), the current event source and the event hold counter.
//
// Compiled handlers are called with their arguments pushed last first and remove them
// themselves; they return like commands: EAX (and EDX), with ECX = the data type code of the
// value returned, or ECX = 0 when they return nothing.
#pragma once
#include <cstdint>
#include "abi/unit_type.h"

namespace units {

// Runs the handler bound to the record's event (runtime notification 2008); the record gets
// the result when the handler returned one. Raises the run-time errors of event dispatch.
void raise_event(EventRecord& record);
// The same for typed arguments (runtime notification 2031).
void raise_typed_event(TypedEventRecord& record);

// Whether events are held back (no handler runs).
bool events_held();
// Raises and lowers the hold counter (re-creating a unit in place, code 2009/2010).
void hold_events();
void release_events();

// The source of the event whose handler runs: false when none runs.
bool current_event_source(uint32_t& window, uint32_t& unit);

}  // namespace units
