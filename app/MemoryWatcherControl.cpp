// Starting and stopping the memory watcher ("-m").
//
// Not running yet: "-m" is accepted and nothing is sampled.

#include "app/zkQuoteForge.h"

void zkQuoteForge::startMemoryWatcher() {}

void zkQuoteForge::stopMemoryWatcher() {}
