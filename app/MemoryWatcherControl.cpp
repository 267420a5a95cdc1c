// Starting and stopping the memory watcher ("-m").

#include "app/MemoryWatcherThread.h"
#include "app/zkQuoteForge.h"

void zkQuoteForge::startMemoryWatcher() { myMemWatch.start(std::make_shared<KeepAlive>()); }

void zkQuoteForge::stopMemoryWatcher() { myMemWatch.stop(); }
