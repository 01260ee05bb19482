#pragma once
// The WMI instances and BITS jobs the system gives, as their autostart entries keep them
// (warnings/AutostartEntryData.h, KeptObject), and back. Windows build only: the source lists with
// them and the remedies read and make again with them.

#include <optional>
#include <string>
#include <vector>

#include "platform/BitsJobs.h"
#include "platform/WmiSubscriptions.h"
#include "warnings/AutostartEntryData.h"

namespace sentrel {

inline KeptObject KeptWmiObject(std::string role, const platform::WmiObject& object) {
    KeptObject kept{std::move(role), object.className, object.path, {}};
    for (const platform::WmiProperty& property : object.properties)
        kept.properties.push_back({property.kind, property.cimType, property.name, property.value});
    return kept;
}

inline platform::WmiObject WmiObjectOf(const KeptObject& kept) {
    platform::WmiObject object{kept.className, kept.path, {}};
    for (const KeptProperty& property : kept.properties)
        object.properties.push_back({property.name, property.kind, property.cimType, property.value});
    return object;
}

// A job as its entry keeps it: the job (its name, type, notify flags and command) and its files.
inline std::vector<KeptObject> KeptBitsJob(const platform::BitsJob& job) {
    std::vector<KeptObject> objects = {{"job",
                                        "",
                                        job.id,
                                        {{'s', 0, "DisplayName", job.displayName},
                                         {'i', 0, "Type", std::to_string(job.type)},
                                         {'i', 0, "NotifyFlags", std::to_string(job.notifyFlags)},
                                         {'s', 0, "NotifyProgram", job.notifyProgram},
                                         {'s', 0, "NotifyParameters", job.notifyParameters}}}};
    for (const platform::BitsFile& file : job.files)
        objects.push_back({"file", "", "", {{'s', 0, "Remote", file.remote}, {'s', 0, "Local", file.local}}});
    return objects;
}

// The job kept; nothing when the objects hold none or a damaged number.
inline std::optional<platform::BitsJob> BitsJobOf(const std::vector<KeptObject>& objects) {
    const KeptObject* kept = FindKeptObject(objects, "job");
    if (!kept) return std::nullopt;
    platform::BitsJob job;
    job.id = kept->path;
    job.displayName = kept->Text("DisplayName");
    job.notifyProgram = kept->Text("NotifyProgram");
    job.notifyParameters = kept->Text("NotifyParameters");
    try {
        job.type = static_cast<unsigned>(std::stoul(kept->Text("Type")));
        job.notifyFlags = static_cast<unsigned>(std::stoul(kept->Text("NotifyFlags")));
    } catch (const std::exception&) {
        return std::nullopt;
    }
    for (const KeptObject& object : objects)
        if (object.role == "file") job.files.push_back({object.Text("Remote"), object.Text("Local")});
    return job;
}

}  // namespace sentrel
