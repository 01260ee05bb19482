// The readers of scheduled tasks, services and Startup folders against Wine's own Task Scheduler,
// service manager and shell, each with a plain name and one in Cyrillic and CJK.
#include <algorithm>
#include <optional>
#include <string>

#include <windows.h>

#include <gtest/gtest.h>

#include "platform/ScheduledTasks.h"
#include "platform/Services.h"
#include "platform/StartupFolders.h"
#include "platform/Win32Error.h"
#include "platform/WideText.h"
#include "support/Shortcut.h"
#include "support/TempFolder.h"

namespace sentrel::platform {
namespace {

template <class Item>
std::optional<Item> Find(const std::vector<Item>& items, std::string Item::*field, const std::string& value) {
    const auto found = std::find_if(items.begin(), items.end(), [&](const Item& item) { return item.*field == value; });
    if (found == items.end()) return std::nullopt;
    return *found;
}

std::string TaskXml(const std::string& program, const std::string& arguments, bool enabled) {
    return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
           "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
           "  <Settings><Enabled>" + std::string(enabled ? "true" : "false") + "</Enabled></Settings>\n"
           "  <Actions><Exec><Command>" + program + "</Command><Arguments>" + arguments +
           "</Arguments></Exec></Actions>\n"
           "</Task>\n";
}

// Wine 8 keeps no actions (its action collections are stubs): the command lines are built here
// from what Windows gives.
TEST(ScheduledTasksWinTest, SplitsTaskPathsAndQuotesPrograms) {
    const TaskLocation nested = SplitTaskPath("A\\\\B\\Name\\");
    EXPECT_EQ(nested.folders, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(nested.name, "Name");
    EXPECT_EQ(nested.FolderPath(), "\\A\\B");
    EXPECT_EQ(SplitTaskPath("\\Name").FolderPath(), "\\");

    EXPECT_EQ(ProgramCommandLine("C:\\Program Files\\Тест\\запуск.exe", "--tray 東京"),
              "\"C:\\Program Files\\Тест\\запуск.exe\" --tray 東京");
    EXPECT_EQ(ProgramCommandLine("\"C:\\Program Files\\a.exe\"", ""), "\"C:\\Program Files\\a.exe\"");
    EXPECT_EQ(ProgramCommandLine("%windir%\\a.exe", "/x"), "%windir%\\a.exe /x");
}

TEST(ScheduledTasksWinTest, DeletesAndRegistersAgainFromTheSavedDefinition) {
    const std::string folder = "\\SentrelTests";  // a task of an earlier run is replaced
    const std::string plain = folder + "\\Plain task";
    const std::string unicode = folder + "\\Папка 東京\\Задача 任务";
    RegisterScheduledTask(plain, TaskXml("C:\\Program Files\\Sentrel Test\\updater.exe", "/run", true));
    RegisterScheduledTask(unicode, TaskXml("C:\\Тест\\запуск.exe", "--tray 東京", false));

    const auto plainTask = ReadScheduledTask(plain);
    const auto unicodeTask = ReadScheduledTask(unicode);
    ASSERT_TRUE(plainTask && unicodeTask);
    EXPECT_EQ(plainTask->path, plain);
    EXPECT_TRUE(plainTask->enabled);
    EXPECT_EQ(unicodeTask->path, unicode);
    EXPECT_FALSE(unicodeTask->enabled);
    EXPECT_NE(unicodeTask->xml.find("<Enabled>false</Enabled>"), std::string::npos) << unicodeTask->xml;

    // The whole list holds both, or says that this system cannot list tasks (Wine 8).
    try {
        const auto tasks = ListScheduledTasks();
        EXPECT_TRUE(Find(tasks, &ScheduledTask::path, plain)) << tasks.size() << " tasks listed";
        EXPECT_TRUE(Find(tasks, &ScheduledTask::path, unicode)) << tasks.size() << " tasks listed";
    } catch (const Win32Error& error) {
        EXPECT_EQ(error.Code(), static_cast<DWORD>(E_NOTIMPL)) << error.what();
    }

    // Removed, then put back from the definition saved before: the same task again.
    DeleteScheduledTask(unicode);
    EXPECT_FALSE(ReadScheduledTask(unicode));
    EXPECT_TRUE(ReadScheduledTask(plain));
    try {
        DeleteScheduledTask(unicode);
        ADD_FAILURE() << "a task deleted twice";
    } catch (const Win32Error& error) {
        EXPECT_EQ(error.Code(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << error.what();
    }
    RegisterScheduledTask(unicode, unicodeTask->xml);
    const auto restored = ReadScheduledTask(unicode);
    ASSERT_TRUE(restored);
    EXPECT_EQ(restored->xml, unicodeTask->xml);
    EXPECT_EQ(restored->command, unicodeTask->command);
    EXPECT_EQ(restored->enabled, unicodeTask->enabled);
    EXPECT_FALSE(ReadScheduledTask(folder + "\\missing folder\\task"));

    DeleteScheduledTask(unicode);
    DeleteScheduledTask(plain);
}

// A service made through the service manager, removed when the test ends.
class TestService {
public:
    TestService(const std::wstring& name, const std::wstring& display, const std::wstring& binary) {
        manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
        service_ = manager_ ? CreateServiceW(manager_, name.c_str(), display.c_str(), SERVICE_ALL_ACCESS,
                                             SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_IGNORE,
                                             binary.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr)
                            : nullptr;
        if (!service_) ThrowLastError("CreateServiceW");
    }
    ~TestService() {
        if (service_) DeleteService(service_), CloseServiceHandle(service_);
        if (manager_) CloseServiceHandle(manager_);
    }

private:
    SC_HANDLE manager_ = nullptr;
    SC_HANDLE service_ = nullptr;
};

TEST(ServicesWinTest, ListsNewServicesWithTheirCommandsUntilTheyAreDeleted) {
    const std::string id = std::to_string(GetCurrentProcessId());
    const std::string plainName = "SentrelTestService" + id;
    const std::string unicodeName = "СлужбаТест" + id;
    {
        TestService plain(WideFromUtf8(plainName), L"Sentrel test service",
                          L"\"C:\\Program Files\\Sentrel Test\\service.exe\" -k run");
        TestService unicode(WideFromUtf8(unicodeName), L"Служба 東京", L"C:\\Тест\\служба.exe");

        const auto services = ListServices();
        const auto plainService = Find(services, &ServiceEntry::name, plainName);
        const auto unicodeService = Find(services, &ServiceEntry::name, unicodeName);
        ASSERT_TRUE(plainService && unicodeService) << services.size() << " services listed";
        EXPECT_EQ(plainService->displayName, "Sentrel test service");
        EXPECT_EQ(plainService->imagePath, "\"C:\\Program Files\\Sentrel Test\\service.exe\" -k run");
        EXPECT_EQ(plainService->startType, static_cast<DWORD>(SERVICE_AUTO_START));
        EXPECT_EQ(plainService->type, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
        EXPECT_EQ(unicodeService->displayName, "Служба 東京");
        EXPECT_EQ(unicodeService->imagePath, "C:\\Тест\\служба.exe");
        // Read in slices, the same.
        const auto names = ServiceKeyNames();
        EXPECT_NE(std::find(names.begin(), names.end(), unicodeName), names.end());
        const auto single = ReadService(unicodeName);
        ASSERT_TRUE(single);
        EXPECT_EQ(single->displayName, unicodeService->displayName);
        EXPECT_EQ(single->imagePath, unicodeService->imagePath);
        // Wine's own services are there too; its drivers are not.
        EXPECT_TRUE(Find(services, &ServiceEntry::name, std::string("RpcSs")));
        EXPECT_FALSE(std::any_of(services.begin(), services.end(),
                                 [](const ServiceEntry& entry) { return (entry.type & SERVICE_WIN32) == 0; }));
    }
    const auto services = ListServices();
    EXPECT_FALSE(Find(services, &ServiceEntry::name, plainName));
    EXPECT_FALSE(Find(services, &ServiceEntry::name, unicodeName));
    EXPECT_FALSE(ReadService(unicodeName));
}

void MakeFile(const std::string& path) {
    const HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    CloseHandle(file);
}

TEST(StartupFoldersWinTest, FindsMovedFoldersAndListsFilesWithShortcutCommands) {
    test::TempFolder temp;
    // A folder holding a program, a plain file, a shortcut to the program, the folder's own
    // desktop.ini and a subfolder.
    const std::string folder = temp / "Автозагрузка 東京";
    ASSERT_TRUE(CreateDirectoryW(WideFromUtf8(folder).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(WideFromUtf8(temp / "Program Files").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(WideFromUtf8(folder + "\\sub").c_str(), nullptr));
    const std::string program = temp / "Program Files\\запуск.exe";
    MakeFile(program);
    MakeFile(folder + "\\plain tool.exe");
    MakeFile(folder + "\\desktop.ini");
    test::SaveShortcut(folder + "\\Запуск 任务.lnk", program, "--tray 東京");

    auto files = ListStartupFiles(folder + "\\");
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.name > b.name; });
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].name, "Запуск 任务.lnk");
    EXPECT_EQ(files[0].path, folder + "\\Запуск 任务.lnk");
    EXPECT_EQ(files[0].target, program);
    EXPECT_EQ(files[0].arguments, "--tray 東京");
    EXPECT_EQ(files[0].command, "\"" + program + "\" --tray 東京");
    EXPECT_EQ(files[1].name, "plain tool.exe");
    EXPECT_EQ(files[1].command, "\"" + folder + "\\plain tool.exe\"");
    EXPECT_TRUE(ListStartupFiles(temp / "missing").empty());

    // The user's Startup folder moved through User Shell Folders (an unexpanded path) is found.
    const wchar_t* const key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    std::wstring saved(32768, L'\0');
    DWORD savedType = 0;
    DWORD savedSize = static_cast<DWORD>(saved.size() * sizeof(wchar_t));
    const bool hadValue = RegGetValueW(HKEY_CURRENT_USER, key, L"Startup", RRF_RT_ANY | RRF_NOEXPAND, &savedType,
                                       saved.data(), &savedSize) == ERROR_SUCCESS;
    SetEnvironmentVariableW(L"SENTREL_TEST_FOLDER", WideFromUtf8(temp.Path()).c_str());
    const std::wstring moved = L"%SENTREL_TEST_FOLDER%Автозагрузка 東京\\";
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key, L"Startup", REG_EXPAND_SZ, moved.c_str(),
                              static_cast<DWORD>((moved.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    const auto folders = StartupFolders();
    if (hadValue)
        RegSetKeyValueW(HKEY_CURRENT_USER, key, L"Startup", savedType, saved.data(), savedSize);
    else
        RegDeleteKeyValueW(HKEY_CURRENT_USER, key, L"Startup");
    const auto found = Find(folders, &StartupFolder::path, folder);
    ASSERT_TRUE(found) << folders.size() << " folders";
    EXPECT_FALSE(found->common);
    EXPECT_TRUE(std::any_of(folders.begin(), folders.end(), [](const StartupFolder& f) { return f.common; }));
}

}  // namespace
}  // namespace sentrel::platform
