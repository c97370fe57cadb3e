// Message boxes without a terminal: the responder, the answer list, the default button
// and the log line.
#include <windows.h>
#include <win32compat/headless.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

class MessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("WIN32COMPAT_MSGBOX_ANSWERS");
    Win32CompatSetMessageBoxResponder(nullptr, nullptr);
  }
  void TearDown() override { SetUp(); }
};

struct DefaultCase {
  UINT type;
  int expected;
};

TEST_F(MessageBoxTest, DefaultButtonWithoutAnswers) {
  const DefaultCase cases[] = {
      {MB_OK, IDOK},
      {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
      {MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_TASKMODAL, IDNO},
      {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
      {MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, IDRETRY},
      {MB_RETRYCANCEL, IDRETRY},
      {MB_YESNO | MB_DEFBUTTON3, IDYES},  // no third button: the first
      {MB_OK | MB_ICONSTOP | MB_SYSTEMMODAL | MB_SETFOREGROUND | MB_TOPMOST, IDOK},
  };
  for (const DefaultCase& c : cases)
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", c.type), c.expected) << std::hex << c.type;
}

TEST_F(MessageBoxTest, AnswerListIsUsedInOrder) {
  setenv("WIN32COMPAT_MSGBOX_ANSWERS", "no, YES,cancel,,retry", 1);
  EXPECT_EQ(MessageBoxA(nullptr, "a", "c", MB_YESNO), IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "b", "c", MB_YESNO), IDYES);
  EXPECT_EQ(MessageBoxA(nullptr, "c", "c", MB_OKCANCEL), IDCANCEL);
  testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBoxA(nullptr, "d", "c", MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);  // empty
  EXPECT_EQ(MessageBoxA(nullptr, "e", "c", MB_YESNO | MB_DEFBUTTON2), IDNO);  // "retry"
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("MessageBox answer \"retry\" is not a button of this box"),
            std::string::npos);
  // Used up: default buttons.
  EXPECT_EQ(MessageBoxA(nullptr, "f", "c", MB_YESNO | MB_DEFBUTTON2), IDNO);
  // A new value starts a new list.
  setenv("WIN32COMPAT_MSGBOX_ANSWERS", "ok", 1);
  EXPECT_EQ(MessageBoxA(nullptr, "g", "c", MB_OKCANCEL | MB_DEFBUTTON2), IDOK);
  Win32CompatResetMessageBoxAnswers();
  EXPECT_EQ(MessageBoxA(nullptr, "h", "c", MB_OKCANCEL | MB_DEFBUTTON2), IDOK);
}

struct Asked {
  std::string text, caption;
  UINT type = 0;
  BOOL owner_enabled = TRUE;
  HWND owner = nullptr;
  int answer = 0;
};

int Respond(void* context, HWND owner, const char* text, const char* caption, UINT type) {
  auto* a = static_cast<Asked*>(context);
  a->text = text;
  a->caption = caption;
  a->type = type;
  a->owner = owner;
  a->owner_enabled = owner ? IsWindowEnabled(owner) : TRUE;
  return a->answer;
}

TEST_F(MessageBoxTest, ResponderComesFirstAndTheOwnerIsDisabledMeanwhile) {
  setenv("WIN32COMPAT_MSGBOX_ANSWERS", "yes", 1);
  HWND owner = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 5, 5, nullptr, nullptr,
                               nullptr, nullptr);
  Asked asked;
  asked.answer = IDNO;
  Win32CompatSetMessageBoxResponder(Respond, &asked);
  EXPECT_EQ(MessageBoxA(owner, "Proceed?", nullptr, MB_YESNO | MB_ICONQUESTION), IDNO);
  EXPECT_EQ(asked.caption, "Error");  // a null caption
  EXPECT_EQ(asked.text, "Proceed?");
  EXPECT_EQ(asked.type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
  EXPECT_FALSE(asked.owner_enabled);
  EXPECT_TRUE(IsWindowEnabled(owner));
  // 0 passes the box on to the list.
  asked.answer = 0;
  EXPECT_EQ(MessageBoxA(owner, "x", "c", MB_YESNO | MB_DEFBUTTON2), IDYES);
  // An id the box does not have: the default button.
  asked.answer = IDRETRY;
  EXPECT_EQ(MessageBoxA(nullptr, "x", "c", MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
  DestroyWindow(owner);
}

TEST_F(MessageBoxTest, LogLineFormat) {
  testing::internal::CaptureStderr();
  MessageBoxA(nullptr, "line one\r\nline two\nthree", "VLPG Upgrade", MB_OK);
  MessageBoxA(nullptr, nullptr, nullptr, MB_OK);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "MessageBox [VLPG Upgrade] line one\\nline two\\nthree\nMessageBox [Error] \n");
}

TEST_F(MessageBoxTest, UnsupportedStylesFail) {
  struct Case {
    UINT type;
    DWORD error;
  };
  const Case cases[] = {{MB_CANCELTRYCONTINUE, ERROR_CALL_NOT_IMPLEMENTED},
                        {MB_OK | MB_HELP, ERROR_CALL_NOT_IMPLEMENTED},
                        {MB_OK | MB_SERVICE_NOTIFICATION, ERROR_CALL_NOT_IMPLEMENTED},
                        {7, ERROR_INVALID_PARAMETER},
                        {MB_OK | MB_TASKMODAL | MB_SYSTEMMODAL, ERROR_INVALID_PARAMETER}};
  testing::internal::CaptureStderr();
  for (const Case& c : cases) {
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", c.type), 0);
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // nothing was shown
}

TEST_F(MessageBoxTest, TaskModalDisablesTheThreadsTopLevelWindows) {
  HWND a = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 5, 5, nullptr, nullptr, nullptr,
                           nullptr);
  Asked asked;
  Win32CompatSetMessageBoxResponder(
      [](void* ctx, HWND, const char*, const char*, UINT) {
        static_cast<Asked*>(ctx)->owner_enabled = IsWindowEnabled(
            static_cast<Asked*>(ctx)->owner);
        return IDOK;
      },
      &asked);
  asked.owner = a;
  EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_OK | MB_TASKMODAL), IDOK);
  EXPECT_FALSE(asked.owner_enabled);
  EXPECT_TRUE(IsWindowEnabled(a));
  DestroyWindow(a);
}

}  // namespace
