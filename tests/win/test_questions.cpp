// The questions asked during a search: answers by button, keys that must not end them, the
// file-exists question's refusal of a taken name, and the media question on a worker thread.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <thread>
#include <vector>

#include "afxwin.h"
#include "app/maindlg.h"
#include "app/questions.h"
#include "app/startup.h"
#include "common/basic_search_fixture.h"
#include "common/dialog_script.h"
#include "common/ui_wait.h"
#include "resource.h"
#include "sigrecovery/mediaremoved.h"

using zr_test::WaitUntil;

typedef zr_test::DialogStep Step;
using zr_test::Click;
using zr_test::CloseBox;
using zr_test::Key;
using zr_test::RunScripted;

namespace {

Step EnterAndEscape()
{
    return [](HWND h) {
        Key(VK_RETURN)(h);
        Key(VK_ESCAPE)(h);
    };
}

// a.txt in a fresh folder, with its first rename proposal a_kx_0.txt taken already.
class ReplaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (m_folder.IsEmpty())
            m_folder = zr_test::NewTempFolder(L"ZrQuestions");
        for (const wchar_t* name : { L"\\a.txt", L"\\a_kx_0.txt" })
            ::CloseHandle(::CreateFileW(m_folder + name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        m_answer = FileExistsAnswer();
        m_answer.ReplaceFileName = m_folder + L"\\a.txt";
        m_answer.FileExistsPolicy = -1;
    }
    void TearDown() override
    {
        std::map<std::string, std::string> made;
        zr_test::TakeSavedFiles(m_folder.GetString(), "", made);
    }
    CString m_folder;
    FileExistsAnswer m_answer;
};

} // namespace

TEST_F(ReplaceTest, EachButtonGivesItsAnswerAndKeysNeverEndIt)
{
    const CString proposal = m_folder + L"\\a_kx_1.txt";
    const struct {
        int button;
        bool applyAll;
        INT_PTR result;
        int policy;
        int aborted;
        bool renamed;
    } cases[] = {
        { IDOK, true, IDOK, 2, 0, false },          { IDC_RPL_RENAME, false, IDOK, 4, 0, true },
        { IDCANCEL, false, IDCANCEL, 1, 0, false }, { IDC_RPL_CANCEL, false, IDCANCEL, 3, 1, false },
        { 0, false, IDCANCEL, 1, 0, false }, // the close box counts as Skip
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "button " << c.button << " all " << c.applyAll);
        SetUp();
        Replace dlg(m_answer);
        bool alive = false;
        std::vector<Step> steps = { EnterAndEscape() };
        if (c.applyAll)
            steps.push_back(Click(IDC_RPL_APPLY_ALL));
        steps.push_back(c.button ? Click(c.button) : CloseBox());
        EXPECT_EQ(RunScripted(dlg, steps, &alive), c.result);
        EXPECT_TRUE(alive);
        EXPECT_EQ(dlg.m_strNewFileName, proposal); // a_kx_0 is taken
        EXPECT_EQ(m_answer.FileExistsPolicy, c.policy);
        EXPECT_EQ(m_answer.cancelled ? 1 : 0, c.aborted);
        EXPECT_EQ(m_answer.ReplaceFileName, c.renamed ? proposal : m_folder + L"\\a.txt");
    }
}

TEST_F(ReplaceTest, ATypedNameThatExistsIsRefusedUntilAFreeOneIsTyped)
{
    static int boxes;
    boxes = 0;
    ZrMessageBoxHook old = ZrSetMessageBoxHook([](HWND, LPCWSTR, LPCWSTR, UINT) {
        ++boxes;
        return IDOK;
    });
    const CString taken = m_folder + L"\\a_kx_0.txt";
    const CString free = m_folder + L"\\mine.txt";
    Replace dlg(m_answer);
    bool alive = false;
    INT_PTR result = RunScripted(dlg,
                                 {
                                     [&](HWND h) {
                                         ::SetDlgItemTextW(h, IDC_RPL_NEW_FILE, taken);
                                         Click(IDC_RPL_RENAME)(h);
                                     },
                                     [&](HWND h) {
                                         ::SetDlgItemTextW(h, IDC_RPL_NEW_FILE, L"  ");
                                         Click(IDC_RPL_RENAME)(h);
                                     },
                                     [&](HWND h) {
                                         ::SetDlgItemTextW(h, IDC_RPL_NEW_FILE, free);
                                         Click(IDC_RPL_RENAME)(h);
                                     },
                                 },
                                 &alive);
    ZrSetMessageBoxHook(old);
    EXPECT_TRUE(alive);
    EXPECT_EQ(boxes, 2);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(m_answer.FileExistsPolicy, 4);
    EXPECT_EQ(m_answer.ReplaceFileName, free);
}

TEST(QuestionDialogs, ButtonsGiveTheirResultsAndEnterOrEscapeDoNothing)
{
    auto run = [](CDialog& dlg, Step last) {
        bool alive = false;
        INT_PTR r = RunScripted(dlg, { EnterAndEscape(), last }, &alive);
        EXPECT_TRUE(alive);
        return r;
    };
    const struct {
        int button;
        INT_PTR result;
    } logical[] = {
        { IDC_LOG_LOGICAL, 1 },
        { IDC_LOG_PHYSICAL, 2 },
        { IDC_LOG_CANCEL, 0 },
    };
    for (const auto& c : logical) {
        CLogicalDlg dlg;
        EXPECT_EQ(run(dlg, Click(c.button)), c.result) << c.button;
    }
    const struct {
        Step last;
        INT_PTR result;
    } removable[] = { { Click(IDOK), IDOK }, { CloseBox(), IDCANCEL } };
    for (const auto& c : removable) {
        CRem_Media_Scan dlg;
        EXPECT_EQ(run(dlg, c.last), c.result);
    }
}

TEST(MediaRemoved, AnswersMapToTheScanAndAreResetEachTimeOnAWorkerThread)
{
    CreateSharedGdiObjects(); // the program's start-up does this before any scan
    CMediaRemoved dlg;
    std::vector<MediaAnswer> answers;
    std::atomic<int> asked{ 0 };
    std::thread worker([&] {
        for (int i = 0; i < 4; ++i) {
            answers.push_back(AskMediaRemovedModal(dlg));
            ++asked;
        }
    });
    const std::vector<std::vector<int>> clicks = {
        { IDC_MR_CANCEL }, { IDC_MR_APPLY, IDC_MR_RETRY }, { IDC_MR_RETRY }, {}, // {}: the close box
    };
    for (size_t i = 0; i < clicks.size(); ++i) {
        ASSERT_TRUE(WaitUntil([&] {
            HWND h = dlg.GetSafeHwnd();
            return h && ::IsWindowVisible(h);
        }));
        HWND h = dlg.GetSafeHwnd();
        EXPECT_NE(::GetWindowThreadProcessId(h, nullptr), ::GetCurrentThreadId());
        for (int id : clicks[i])
            ::PostMessageW(::GetDlgItem(h, id), BM_CLICK, 0, 0);
        if (clicks[i].empty())
            ::PostMessageW(h, WM_CLOSE, 0, 0);
        ASSERT_TRUE(WaitUntil([&] { return asked.load() == (int)i + 1; }));
    }
    worker.join();
    const std::vector<MediaAnswer> expected = { MediaAnswer::Cancel, MediaAnswer::RetryAlways, MediaAnswer::Retry,
                                                MediaAnswer::Skip };
    EXPECT_EQ(answers, expected);
}
