// A Deep Search dialog on the test drives, made, shown and ended as the Basic Search fixture's:
// message boxes recorded (and their owners checked at the end), notices closed.
#pragma once
#include <gtest/gtest.h>

#include <memory>

#include "common/basic_search_fixture.h"
#include "common/images.h"
#include "fsrecovery/deepsearch.h"
#include "resources/resource.h"

namespace zr_test {

class DeepSearchDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (ImagesDir().empty())
            GTEST_SKIP() << "ZR_IMAGES not set";
        BeginSearchDialogTest(main, kModeDeep, previousHook);
        RegisterDeepSearchDialog();
        ASSERT_TRUE(dlg.Create(IDD_DEEP_SEARCH, nullptr));
        ShowSearchDialogUnderTest(dlg, notices);
        // Deep Search's no-results notice has an OK button of its own.
        deepNotices = std::make_unique<DialogAnswerer>(IDC_AD_HEADLINE, IDC_NOTICE_OK);
    }
    void TearDown() override
    {
        deepNotices.reset();
        if (GetSearchHost() != nullptr)
            EndSearchDialogTest(dlg, notices, previousHook);
    }

    CDelvaneDlg main;
    CDeepSearch dlg{ &main };
    ZrMessageBoxHook previousHook = nullptr;
    std::unique_ptr<DialogAnswerer> notices, deepNotices;
};

} // namespace zr_test
