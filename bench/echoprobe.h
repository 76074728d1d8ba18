#pragma once

// Median round trip, in milliseconds, of a frame written to one side of a
// pseudo-terminal and echoed back by a bare thread on the other side: the floor
// any console exchange over a pseudo-terminal stands on.
// With gapMs > 0 each round follows a pause of that length, as the console's
// exchanges follow a poll tick: an idle machine takes longer to wake for the
// first byte than a busy one, whoever the program is.
double bareEchoMedianMs(int rounds, int gapMs = 0);
