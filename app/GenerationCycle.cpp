// The generation service and the configuration reload thread.
//
// Not running yet: the service never starts and no reload thread exists, so
// the process ends once the application object is built.

#include "app/zkQuoteForge.h"

bool zkQuoteForge::startServiceQuoteForge() { return false; }

bool zkQuoteForge::stopServiceQuoteForge() { return true; }

void zkQuoteForge::run() {}

void zkQuoteForge::startReloadThread() {}

void zkQuoteForge::stopReloadThread() {}
