# Test programs of the Windows build; filled in with the tests that run under Wine.
