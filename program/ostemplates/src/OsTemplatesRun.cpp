// The Windows-templates operation: the task "Операционная система MS Windows" and the tasks of the
// chosen programs into the model, under its first job of the board.
#include "KvOsTemplates.h"

#include "IChDataModel.h"
#include "IChNode.h"

namespace {

// Clears a switch for its lifetime and gives it back its value however the scope is left.
class CSwitchOff {
public:
    explicit CSwitchOff(int* value) : m_value(value), m_saved(value ? *value : 0) {
        if (m_value)
            *m_value = 0;
    }
    ~CSwitchOff() {
        if (m_value)
            *m_value = m_saved;
    }
    CSwitchOff(const CSwitchOff&) = delete;
    CSwitchOff& operator=(const CSwitchOff&) = delete;

private:
    int* m_value;
    int m_saved;
};

} // namespace

SOsTemplatesRun WindowsTaskRun(CIChDataModel* model, int variant, CStartupTemplates::LocalDiskTest isLocalHardDisk) {
    SOsTemplatesRun run;
    run.model = model;
    run.addWindowsTask = 1;
    run.clearModel = 1;
    run.task.variant = variant;
    run.task.isLocalHardDisk = isLocalHardDisk;
    return run;
}

int CreateOsTemplates(SOsTemplatesRun& run) {
    if (!run.model || !(run.addWindowsTask || run.hasProducts || run.clearModel))
        return 1;
    const int merge = run.clearModel ? 0 : 1;
    CSwitchOff showResults(run.showResults);
    CSwitchOff addDepends(run.addDepends);
    CIChDataModel& model = *run.model;
    model.RebuildPathIndex();
    bool made = false;
    if (run.addWindowsTask) {
        CIChNode* task = BuildWindowsTask(run.task);
        model.AddNodeTree(&task, merge);
        if (CIChJob* job = FirstBoardJob(model))
            task->LinkTo(job);
        made = true;
    }
    if (run.hasProducts && run.generateProducts) {
        CIChNodeList output;
        if (run.generateProducts(&output)) {
            if (CIChJob* job = FirstBoardJob(model))
                for (CIChNode* task : output)
                    task->LinkTo(job);
            made = made || !output.empty();
        }
    }
    model.m_bModified = 1;
    if (made && run.storeExisted)
        *run.storeExisted = 1;
    return 1;
}
