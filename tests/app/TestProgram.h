#pragma once
// The window with its two dialogs, as the program entry creates them.
#include <gtest/gtest.h>

#include <QTest>
#include <memory>

#include "app/FMain.h"
#include "dialogs/Cfg.h"
#include "dialogs/DlgYesNo.h"

struct Program {
  std::unique_ptr<TFormMain> form = std::make_unique<TFormMain>();
  TCfgDialog cfg{form.get()};
  TFDlgYesNo yesNo{form.get()};
  Program() { form->SetDialogs(&cfg, &yesNo); }
  ~Program() {
    // The dialogs belong to the window's lifetime but are destroyed after it, as in main().
    cfg.setParent(nullptr);
    yesNo.setParent(nullptr);
    form.reset();
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
};

// A test that opens the window as the program shows it; program.reset() closes it.
struct ProgramFixture : ::testing::Test {
  std::unique_ptr<Program> program;

  TFormMain& Open() {
    program = std::make_unique<Program>();
    program->form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(program->form.get()));
    return *program->form;
  }
  TFormMain& Form() { return *program->form; }
};
