#include "project.h"

namespace kestrova {

bool ServoTakesPart(const ServoRecord& servo, bool autoDisable) {
    return servo.Enabled && (!autoDisable || servo.Used);
}

std::array<ServoRecord, kServoCount> NewProjectServos() {
    std::array<ServoRecord, kServoCount> servos{};
    for (int n = 1; n <= kServoCount; ++n) {
        ServoRecord& servo = servos[n - 1];
        servo.Name = "Servo " + std::to_string(n);
        servo.Min = 0;
        servo.Home = 127;
        servo.Max = 254;
        servo.Enabled = true;
    }
    return servos;
}

void SetNewProjectDefaults(Project& project) {
    const std::array<ServoRecord, kServoCount> defaults = NewProjectServos();
    for (int i = 0; i < kServoCount; ++i) {
        ServoRecord& servo = project.Servos[i];
        const bool used = servo.Used;
        servo = defaults[i];
        servo.Used = used;
        project.Programs[i].clear();
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
