// The engine of zkQuoteForgeEngine.dll in-process: what set-class-source
// accepts, how execute finds and checks the entry module, and the COM
// object's checks of the request record. The containers are resources of
// this program (engine_test.rc).

#include "launcher/EngineContract.h"
#include "launcher/EngineServer.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID, REFIID, void**);
extern "C" HRESULT __stdcall DllCanUnloadNow();

namespace {

enum : std::uint32_t { kGood = 2000, kNewer, kBroken, kOldVersion, kNoEntry, kWrongEntry };

long setSource(std::uint32_t id) {
    const ClassSource source{GetModuleHandleW(nullptr), id};
    return engineSetClassSource(kClassSourceResource, &source, sizeof source);
}

long execute(const char16_t* entry, std::optional<std::u16string>& failure) {
    ExecutionRequest request{};
    request.size = sizeof request;
    request.entryName = entry;
    failure.reset();
    return engineExecute(request, failure);
}

std::string ascii(const std::u16string& text) { return std::string(text.begin(), text.end()); }

TEST(EngineSetClassSource, AcceptsOnlyAUsableContainer) {
    const ClassSource source{GetModuleHandleW(nullptr), kGood};
    EXPECT_EQ(engineSetClassSource(2, &source, sizeof source), S_FALSE);  // a kind from a newer launcher
    EXPECT_EQ(engineSetClassSource(kClassSourceResource, nullptr, sizeof source), E_POINTER);
    EXPECT_EQ(engineSetClassSource(kClassSourceResource, &source, 8), E_INVALIDARG);
    EXPECT_EQ(setSource(kNewer), S_FALSE);
    EXPECT_EQ(setSource(kBroken), HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
    const long missing = setSource(2999);
    EXPECT_TRUE(FAILED(missing)) << std::hex << missing;
    EXPECT_EQ(setSource(kGood), S_OK);
}

TEST(EngineExecute, NeedsAContainerFirst) {
    ASSERT_EQ(setSource(kBroken), HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
    std::optional<std::u16string> failure;
    EXPECT_EQ(execute(u"zkQuoteForge", failure), E_UNEXPECTED);
    ASSERT_TRUE(failure.has_value());
    EXPECT_NE(ascii(*failure).find("no module container"), std::string::npos);
}

TEST(EngineExecute, MissingEntryModuleIsFileNotFoundWithoutErrorObject) {
    std::optional<std::u16string> failure;
    ASSERT_EQ(setSource(kGood), S_OK);
    EXPECT_EQ(execute(u"Indication", failure), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(failure.has_value());
    ASSERT_EQ(setSource(kNoEntry), S_OK);
    EXPECT_EQ(execute(u"zkQuoteForge", failure), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(failure.has_value());
}

TEST(EngineExecute, RefusesAnEntryNameWithoutTerminatorInItsBuffer) {
    ASSERT_EQ(setSource(kGood), S_OK);
    std::u16string unterminated(1024, u'a');
    unterminated += u"zkQuoteForge";
    std::optional<std::u16string> failure;
    EXPECT_EQ(execute(unterminated.c_str(), failure), E_INVALIDARG);
    EXPECT_TRUE(failure.has_value());
    EXPECT_EQ(execute(nullptr, failure), E_INVALIDARG);
}

TEST(EngineExecute, RefusesModulesOfAnotherVersionOrAnUnknownEntry) {
    std::optional<std::u16string> failure;
    ASSERT_EQ(setSource(kOldVersion), S_OK);
    EXPECT_EQ(execute(u"zkQuoteForge", failure), E_FAIL);
    ASSERT_TRUE(failure.has_value());
    EXPECT_NE(ascii(*failure).find("Indication_Tools.module is of version 1.04"), std::string::npos) << ascii(*failure);
    ASSERT_EQ(setSource(kWrongEntry), S_OK);
    EXPECT_EQ(execute(u"zkQuoteForge", failure), E_FAIL);
    ASSERT_TRUE(failure.has_value());
    EXPECT_NE(ascii(*failure).find("other::main"), std::string::npos) << ascii(*failure);
}

TEST(EngineObject, ChecksTheRequestSizeAndReportsThroughAnErrorObject) {
    IClassFactory* factory = nullptr;
    ASSERT_EQ(DllGetClassObject(reinterpret_cast<const GUID&>(kEngineClassId), IID_IClassFactory,
                                reinterpret_cast<void**>(&factory)),
              S_OK);
    EngineInterface* engine = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, reinterpret_cast<const GUID&>(kEngineInterfaceId),
                                      reinterpret_cast<void**>(&engine)),
              S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);

    // A request of the 32-bit layout reaching the 64-bit engine.
    ExecutionRequest request{};
    request.size = 24;
    request.entryName = u"zkQuoteForge";
    IErrorInfo* error = nullptr;
    EXPECT_EQ(engine->Execute(&request, reinterpret_cast<void**>(&error)), E_INVALIDARG);
    ASSERT_NE(error, nullptr);
    BSTR description = nullptr;
    ASSERT_EQ(error->GetDescription(&description), S_OK);
    const std::u16string text(reinterpret_cast<const char16_t*>(description), SysStringLen(description));
    EXPECT_NE(ascii(text).find("size 24, not 40"), std::string::npos) << ascii(text);
    SysFreeString(description);
    error->Release();

    char16_t* path = nullptr;
    EXPECT_EQ(engine->GetClassPath(&path), E_NOTIMPL);
    engine->Release();
    factory->Release();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

}  // namespace
