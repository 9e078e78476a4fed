#include "eval/eval_run.h"

#include "common/scan_folder.h"
#include "common/tool_rig.h"

EvalRunReport evalRun(const EvalRunOptions& options) {
    EvalRunReport report;
    const std::string& dir = options.dir;
    std::string error;
    ToolRig rig;
    bool ok = folderExists(dir, &error) && (options.ignoreDates || folderPointsCurrent(dir, &error));
    if (ok && !toolRigLoad(dir, options.rigPath, &rig, &error))  // a rig that cannot be used
        return report.result = toolUsageFault(error), report;
    report.rig = rig.source;
    if (ok) {
        switch (options.what) {
            case EvalWhat::kMesh: ok = evalMesh(dir, &report.mesh, &error); break;
            case EvalWhat::kCloud:
                ok = (options.ignoreDates || folderCloudCurrent(dir, &error)) &&
                     evalCloud(dir, &report.cloud, &error);
                break;
            case EvalWhat::kPoints:
                ok = evalScan(dir, &report.points, &error, rig.rig.turntable.clockwise);
                break;
        }
    }
    if (!ok) report.result = toolFault(error);
    return report;
}

namespace {

std::string reportOf(const EvalRunOptions& options, const EvalRunReport& report, bool json) {
    switch (options.what) {
        case EvalWhat::kMesh: return json ? evalMeshJson(report.mesh) : evalMeshText(report.mesh);
        case EvalWhat::kCloud: return json ? evalCloudJson(report.cloud) : evalCloudText(report.cloud);
        case EvalWhat::kPoints: break;
    }
    return json ? evalJson(report.points) : evalText(report.points);
}

}  // namespace

std::string evalRunText(const EvalRunOptions& options, const EvalRunReport& report, bool json) {
    if (!toolOk(report.result)) return "";
    const std::string text = reportOf(options, report, json);
    return json ? text : text + "  rig: " + report.rig + "\n";
}
