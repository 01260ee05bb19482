#include "platform/ScheduledTasks.h"

#include <algorithm>

#include <windows.h>
#include <taskschd.h>

#include "platform/ComObjects.h"
#include "platform/Win32Error.h"

namespace sentrel::platform {

namespace {

VARIANT EmptyVariant() {
    VARIANT empty;
    VariantInit(&empty);
    return empty;
}

VARIANT IndexVariant(LONG index) {
    VARIANT variant;
    VariantInit(&variant);
    variant.vt = VT_I4;
    variant.lVal = index;
    return variant;
}

bool IsNotFound(HRESULT result) {
    const DWORD code = CodeFromHresult(result);
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

ComRef<ITaskService> ConnectedService() {
    EnsureComOnThisThread();
    ComRef<ITaskService> service;
    CheckHresult(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                  service.PutVoid()),
                 "CoCreateInstance(TaskScheduler)");
    CheckHresult(service->Connect(EmptyVariant(), EmptyVariant(), EmptyVariant(), EmptyVariant()),
                 "ITaskService::Connect");
    return service;
}

ComRef<ITaskFolder> OpenFolder(ITaskService* service, const std::string& path) {
    ComRef<ITaskFolder> folder;
    CheckHresult(service->GetFolder(Bstr(path).Get(), folder.Put()), "ITaskService::GetFolder(\"" + path + "\")");
    return folder;
}

ScheduledTask ReadTask(IRegisteredTask* task) {
    ScheduledTask entry;
    Bstr path;
    Bstr xml;
    VARIANT_BOOL enabled = VARIANT_FALSE;
    CheckHresult(task->get_Path(path.Put()), "IRegisteredTask::get_Path");
    entry.path = path.Text();
    if (SUCCEEDED(task->get_Xml(xml.Put()))) entry.xml = xml.Text();
    if (SUCCEEDED(task->get_Enabled(&enabled))) entry.enabled = enabled != VARIANT_FALSE;
    ComRef<ITaskDefinition> definition;
    if (SUCCEEDED(task->get_Definition(definition.Put()))) {
        entry.actions = TaskExecActions(definition.Get());
        entry.command = TaskCommands(entry.actions);
    }
    return entry;
}

void ListFolder(ITaskFolder* folder, std::vector<ScheduledTask>& tasks) {
    ComRef<IRegisteredTaskCollection> collection;
    CheckHresult(folder->GetTasks(TASK_ENUM_HIDDEN, collection.Put()), "ITaskFolder::GetTasks");
    LONG count = 0;
    CheckHresult(collection->get_Count(&count), "IRegisteredTaskCollection::get_Count");
    for (LONG index = 1; index <= count; ++index) {  // the collections count from 1
        ComRef<IRegisteredTask> task;
        if (FAILED(collection->get_Item(IndexVariant(index), task.Put()))) continue;  // gone meanwhile
        tasks.push_back(ReadTask(task.Get()));
    }

    ComRef<ITaskFolderCollection> folders;
    CheckHresult(folder->GetFolders(0, folders.Put()), "ITaskFolder::GetFolders");
    CheckHresult(folders->get_Count(&count), "ITaskFolderCollection::get_Count");
    for (LONG index = 1; index <= count; ++index) {
        ComRef<ITaskFolder> subfolder;
        if (FAILED(folders->get_Item(IndexVariant(index), subfolder.Put()))) continue;
        try {
            ListFolder(subfolder.Get(), tasks);
        } catch (const Win32Error& error) {
            if (error.Code() != ERROR_ACCESS_DENIED) throw;  // a folder the user may not open
        }
    }
}

}  // namespace

std::vector<ExecAction> TaskExecActions(ITaskDefinition* definition) {
    ComRef<IActionCollection> actions;
    LONG count = 0;
    if (FAILED(definition->get_Actions(actions.Put())) || FAILED(actions->get_Count(&count))) return {};
    std::vector<ExecAction> found;
    for (LONG index = 1; index <= count; ++index) {
        ComRef<IAction> action;
        TASK_ACTION_TYPE type{};
        if (FAILED(actions->get_Item(index, action.Put())) || FAILED(action->get_Type(&type)) ||
            type != TASK_ACTION_EXEC)
            continue;  // other actions (e-mail, message, COM handler) start no program
        ComRef<IExecAction> exec;
        if (FAILED(action->QueryInterface(IID_IExecAction, exec.PutVoid()))) continue;
        Bstr program;
        Bstr arguments;
        Bstr folder;
        exec->get_Path(program.Put());
        exec->get_Arguments(arguments.Put());
        exec->get_WorkingDirectory(folder.Put());
        found.push_back({program.Text(), arguments.Text(), folder.Text()});
    }
    return found;
}

std::string TaskCommands(const std::vector<ExecAction>& actions) {
    std::string commands;
    for (const ExecAction& action : actions) {
        if (!commands.empty()) commands += " & ";
        commands += ProgramCommandLine(action.program, action.arguments);
    }
    return commands;
}

TaskLocation SplitTaskPath(std::string_view path) {
    TaskLocation location;
    std::size_t start = 0;
    while (start < path.size()) {
        const std::size_t end = std::min(path.find('\\', start), path.size());
        if (end > start) location.folders.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    if (!location.folders.empty()) {
        location.name = std::move(location.folders.back());
        location.folders.pop_back();
    }
    return location;
}

std::string TaskLocation::FolderPath() const {
    if (folders.empty()) return "\\";
    std::string path;
    for (const std::string& folder : folders) path += "\\" + folder;
    return path;
}

std::string ProgramCommandLine(std::string_view program, std::string_view arguments) {
    std::string command;
    if (program.find(' ') != std::string_view::npos && program.front() != '"')
        command = "\"" + std::string(program) + "\"";
    else
        command = std::string(program);
    if (!arguments.empty()) command += " " + std::string(arguments);
    return command;
}

namespace {

// The location of a task that must have a name.
TaskLocation NamedTask(std::string_view path) {
    TaskLocation location = SplitTaskPath(path);
    if (location.name.empty()) ThrowWin32Error("task path \"" + std::string(path) + "\"", ERROR_INVALID_NAME);
    return location;
}

// Registers `definition` as the task `name` of `folder`. The definition names the user and logon
// type the task runs with; registering passes them back so the task runs as it did.
void RegisterAsItRuns(ITaskFolder* folder, const std::string& name, ITaskDefinition* definition,
                      TASK_CREATION creation) {
    VARIANT user = EmptyVariant();
    TASK_LOGON_TYPE logonType = TASK_LOGON_NONE;
    Bstr userId;
    ComRef<IPrincipal> principal;
    if (SUCCEEDED(definition->get_Principal(principal.Put()))) {
        if (SUCCEEDED(principal->get_UserId(userId.Put())) && userId.Get() && SysStringLen(userId.Get()) > 0) {
            user.vt = VT_BSTR;
            user.bstrVal = userId.Get();  // still owned by userId
        }
        principal->get_LogonType(&logonType);
    }
    ComRef<IRegisteredTask> registered;
    CheckHresult(folder->RegisterTaskDefinition(Bstr(name).Get(), definition, creation, user, EmptyVariant(),
                                                logonType, EmptyVariant(), registered.Put()),
                 "ITaskFolder::RegisterTaskDefinition(\"" + name + "\")");
}

}  // namespace

std::vector<ScheduledTask> ListScheduledTasks() {
    ComRef<ITaskService> service = ConnectedService();
    std::vector<ScheduledTask> tasks;
    ListFolder(OpenFolder(service.Get(), "\\").Get(), tasks);
    return tasks;
}

std::optional<ScheduledTask> ReadScheduledTask(std::string_view path) {
    const TaskLocation location = NamedTask(path);
    ComRef<ITaskService> service = ConnectedService();
    ComRef<ITaskFolder> folder;
    HRESULT result = service->GetFolder(Bstr(location.FolderPath()).Get(), folder.Put());
    if (IsNotFound(result)) return std::nullopt;
    CheckHresult(result, "ITaskService::GetFolder(\"" + location.FolderPath() + "\")");
    ComRef<IRegisteredTask> task;
    result = folder->GetTask(Bstr(location.name).Get(), task.Put());
    if (IsNotFound(result)) return std::nullopt;
    CheckHresult(result, "ITaskFolder::GetTask(\"" + location.name + "\")");
    return ReadTask(task.Get());
}

void DeleteScheduledTask(std::string_view path) {
    const TaskLocation location = NamedTask(path);
    ComRef<ITaskService> service = ConnectedService();
    ComRef<ITaskFolder> folder = OpenFolder(service.Get(), location.FolderPath());
    CheckHresult(folder->DeleteTask(Bstr(location.name).Get(), 0),
                 "ITaskFolder::DeleteTask(\"" + location.name + "\")");
}

void RegisterScheduledTask(std::string_view path, std::string_view xml) {
    const TaskLocation location = NamedTask(path);
    ComRef<ITaskService> service = ConnectedService();

    // The folders on the path, each opened or made in its parent.
    ComRef<ITaskFolder> folder = OpenFolder(service.Get(), "\\");
    std::string walked;
    for (const std::string& part : location.folders) {
        walked += "\\" + part;
        ComRef<ITaskFolder> next;
        const HRESULT opened = folder->GetFolder(Bstr(part).Get(), next.Put());
        if (FAILED(opened)) {
            if (!IsNotFound(opened)) CheckHresult(opened, "ITaskFolder::GetFolder(\"" + walked + "\")");
            CheckHresult(folder->CreateFolder(Bstr(part).Get(), EmptyVariant(), next.Put()),
                         "ITaskFolder::CreateFolder(\"" + walked + "\")");
        }
        folder = std::move(next);
    }

    ComRef<ITaskDefinition> definition;
    CheckHresult(service->NewTask(0, definition.Put()), "ITaskService::NewTask");
    CheckHresult(definition->put_XmlText(Bstr(xml).Get()), "ITaskDefinition::put_XmlText");
    RegisterAsItRuns(folder.Get(), location.name, definition.Get(), TASK_CREATE_OR_UPDATE);
}

void SetTaskExecActions(std::string_view path, const std::vector<ExecAction>& actions) {
    const TaskLocation location = NamedTask(path);
    ComRef<ITaskService> service = ConnectedService();
    ComRef<ITaskFolder> folder = OpenFolder(service.Get(), location.FolderPath());
    ComRef<IRegisteredTask> task;
    CheckHresult(folder->GetTask(Bstr(location.name).Get(), task.Put()),
                 "ITaskFolder::GetTask(\"" + location.name + "\")");
    ComRef<ITaskDefinition> definition;
    CheckHresult(task->get_Definition(definition.Put()), "IRegisteredTask::get_Definition");
    ComRef<IActionCollection> collection;
    CheckHresult(definition->get_Actions(collection.Put()), "ITaskDefinition::get_Actions");
    LONG count = 0;
    CheckHresult(collection->get_Count(&count), "IActionCollection::get_Count");
    for (LONG index = count; index >= 1; --index) {  // from the last, so the numbers stay
        ComRef<IAction> action;
        TASK_ACTION_TYPE type{};
        CheckHresult(collection->get_Item(index, action.Put()), "IActionCollection::get_Item");
        if (SUCCEEDED(action->get_Type(&type)) && type == TASK_ACTION_EXEC)
            CheckHresult(collection->Remove(IndexVariant(index)), "IActionCollection::Remove");
    }
    for (const ExecAction& wanted : actions) {
        ComRef<IAction> action;
        CheckHresult(collection->Create(TASK_ACTION_EXEC, action.Put()), "IActionCollection::Create");
        ComRef<IExecAction> exec;
        CheckHresult(action->QueryInterface(IID_IExecAction, exec.PutVoid()), "IAction::QueryInterface(IExecAction)");
        CheckHresult(exec->put_Path(Bstr(wanted.program).Get()), "IExecAction::put_Path");
        CheckHresult(exec->put_Arguments(Bstr(wanted.arguments).Get()), "IExecAction::put_Arguments");
        CheckHresult(exec->put_WorkingDirectory(Bstr(wanted.folder).Get()), "IExecAction::put_WorkingDirectory");
    }
    RegisterAsItRuns(folder.Get(), location.name, definition.Get(), TASK_UPDATE);
}

}  // namespace sentrel::platform
