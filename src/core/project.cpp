#include "project.h"

namespace kestrova {

void SetNewProjectDefaults(Project& project) {
    for (int n = 1; n <= kServoCount; ++n) {
        ServoRecord& servo = project.Servos[n - 1];
        servo.Name = "Servo " + std::to_string(n);
        servo.Min = 0;
        servo.Home = 127;
        servo.Max = 254;
        servo.Enabled = true;
        project.Programs[n - 1].clear();
    }
}

void StartNewProject(Project& project) {
    SetNewProjectDefaults(project);
    ++project.UntitledCount;
    project.sFilename = "Untitled" + std::to_string(project.UntitledCount);
    project.WavCues.assign(1, WavCue{});
    project.bNeedToSave = false;
    project.Built = false;
    project.ModifiedSinceBuild = false;
}

}  // namespace kestrova
