// The scripted presenter installed for one test's scope: every message box, modal dialog, picker
// and popup menu of the code under test is answered from its script and recorded.
#pragma once

#include "kvui/presenter.h"

namespace KvTest {

class CScopedPresenter : public KvUi::CScriptedPresenter {
public:
    CScopedPresenter() : m_old(KvUi::SetPresenter(this)) {}
    ~CScopedPresenter() override { KvUi::SetPresenter(m_old); }
    CScopedPresenter(const CScopedPresenter&) = delete;
    CScopedPresenter& operator=(const CScopedPresenter&) = delete;

private:
    KvUi::IPresenter* m_old;
};

} // namespace KvTest
