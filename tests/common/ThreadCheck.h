#pragma once
// The ThreadSanitizer stage runs the test programs labelled "threads" in
// tests/CMakeLists.txt; a program that starts a thread without the label
// fails its tests (TestMain), so that none is left out of that stage.

// True once the program started a thread; always false where threads
// cannot be seen (sanitizer builds, Windows).
bool threadsStarted();
