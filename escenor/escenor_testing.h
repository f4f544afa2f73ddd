// Test seam: lets a test build its own schedule instead of the show.
#pragma once

class Escenor;

typedef void (*ShowBuilder)(Escenor* escenor);

// While set, Escenor::LoadScript calls `builder` in place of
// Escenor::BuildShow. Pass null to restore the show.
void SetShowBuilderForTesting(ShowBuilder builder);
