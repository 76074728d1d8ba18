#pragma once

// Median round trip, in milliseconds, of a frame written to one side of a
// pseudo-terminal and echoed back by a bare thread on the other side: the floor
// any console exchange over a pseudo-terminal stands on.
double bareEchoMedianMs(int rounds);
