// The supervision settings as the service process and /install read them:
// recovery lists, accounts, the requests of the install, the stop budget.
#include <gtest/gtest.h>

#include "base/text.h"
#include "service/supervision.h"

namespace wl {
namespace {

using svc::kActionNone;
using svc::kActionRestart;

TEST(Supervision, RecoveryLists) {
    struct Case {
        const char* setting;
        std::vector<FailureAction> actions;
        uint32_t resetSeconds;
    };
    const Case cases[] = {
        // The default: restart after 10 s twice, then nothing; a day's reset.
        {"", {{kActionRestart, 10000}, {kActionRestart, 10000}, {kActionNone, 0}}, 86400},
        {"  ", {{kActionRestart, 10000}, {kActionRestart, 10000}, {kActionNone, 0}}, 86400},
        {"restart/10000,restart/30000,none", {{kActionRestart, 10000}, {kActionRestart, 30000}, {kActionNone, 0}}, 86400},
        {" Restart / 0 , reset/3600 ", {{kActionRestart, 0}}, 3600},
        {"reset/60,restart/5000", {{kActionRestart, 5000}}, 60},
        // Off: the word, or a list that never restarts.
        {"none", {}, 86400},
        {"NONE", {}, 86400},
        {"none,none,reset/10", {}, 10},
    };
    for (const Case& c : cases) {
        std::string error;
        RecoveryPlan plan;
        ASSERT_TRUE(parseRecovery(c.setting, plan, error)) << c.setting << ": " << error;
        EXPECT_EQ(plan.actions, c.actions) << c.setting;
        EXPECT_EQ(plan.resetSeconds, c.resetSeconds) << c.setting;
    }
    const std::pair<const char*, const char*> bad[] = {
        {"restart", "\"restart\" is not restart/<milliseconds>, none or one reset/<seconds>"},
        {"restart/10s", "\"restart/10s\""},
        {"restart/-1", "\"restart/-1\""},
        {"restart/1234567890", "\"restart/1234567890\""},
        {"reboot/1000", "\"reboot/1000\""},
        {"restart/1000,,none", "\"\""},
        {"none/5", "\"none/5\""},
        {"restart/1,reset/1,reset/2", "\"reset/2\""},
    };
    for (const auto& [setting, message] : bad) {
        std::string error;
        RecoveryPlan plan;
        EXPECT_FALSE(parseRecovery(setting, plan, error)) << setting;
        EXPECT_EQ(error.rfind(message, 0), 0u) << setting << ": " << error;
    }
}

TEST(Supervision, Accounts) {
    struct Case {
        const char16_t* setting;
        const char16_t* name;
        bool password;
    };
    const Case cases[] = {
        {u"", u"", false},
        {u"LocalSystem", u"", false},
        {u" localsystem ", u"", false},
        {u"NT AUTHORITY\\SYSTEM", u"", false},
        {u"LocalService", u"NT AUTHORITY\\LocalService", false},
        {u"nt authority\\networkservice", u"NT AUTHORITY\\NetworkService", false},
        {u"NetworkService", u"NT AUTHORITY\\NetworkService", false},
        {u"NT SERVICE\\Other", u"NT SERVICE\\Other", false},
        {u"NT SERVICE\\", u"NT SERVICE\\MySvc", false},
        {u"CORP\\svc-app$", u"CORP\\svc-app$", false},
        {u"CORP\\appuser", u"CORP\\appuser", true},
        {u"appuser@corp.example", u"appuser@corp.example", true},
        {u"appuser", u".\\appuser", true},
        {u".\\appuser", u".\\appuser", true},
    };
    for (const Case& c : cases) {
        ServiceAccount account = classifyAccount(c.setting, u"MySvc");
        EXPECT_EQ(account.name, c.name) << toUtf8(c.setting);
        EXPECT_EQ(account.needsPassword, c.password) << toUtf8(c.setting);
    }
}

TEST(Supervision, InstallRequests) {
    RecoveryPlan plan;
    plan.actions = {{kActionRestart, 10000}, {kActionNone, 0}};
    plan.resetSeconds = 600;
    // Automatic start, delayed, with recovery: every level, the flag after
    // the actions it applies to.
    EXPECT_EQ(installConfigRequests(60, plan, true, 2).list(),
              (std::vector<ConfigRequest>{{7, 60000, {}}, {2, 0, plan}, {4, 1, {}}, {3, 1, {}}}));
    // A start on demand is never delayed; recovery off sets neither actions
    // nor the flag.
    EXPECT_EQ(installConfigRequests(180, RecoveryPlan{}, true, 3).list(), (std::vector<ConfigRequest>{{7, 180000, {}}}));
    EXPECT_EQ(installConfigRequests(0, plan, false, 2).list(),
              (std::vector<ConfigRequest>{{7, 0, {}}, {2, 0, plan}, {4, 1, {}}}));
    EXPECT_FALSE(configRefusalIsFatal(124));
    EXPECT_TRUE(configRefusalIsFatal(5));
    EXPECT_EQ(std::u16string(configRequestName(4)), u"the recovery on failure");
}

TEST(Supervision, SecondsAndBudget) {
    auto seconds = [](const std::string* setting) {
        uint32_t value = 0;
        return secondsSetting(setting, 30, value) ? int64_t(value) : -1;
    };
    const std::string empty, five = " 5 ", zero = "0", most = "4000000";
    EXPECT_EQ(seconds(nullptr), 30);
    EXPECT_EQ(seconds(&empty), 30);
    EXPECT_EQ(seconds(&five), 5);
    EXPECT_EQ(seconds(&zero), 0);
    EXPECT_EQ(seconds(&most), 4000000);
    for (const std::string bad : {"-1", "5s", "4000001", "1e3"}) EXPECT_EQ(seconds(&bad), -1) << bad;

    EXPECT_EQ(stopBudgetMillis(1, 30, 60), 30000u);
    EXPECT_EQ(stopBudgetMillis(5, 30, 10), 30000u);
    // At preshutdown the system goes on after its own timeout.
    EXPECT_EQ(stopBudgetMillis(svc::kControlPreshutdown, 30, 10), 10000u);
    EXPECT_EQ(stopBudgetMillis(svc::kControlPreshutdown, 30, 60), 30000u);
    EXPECT_EQ(eventType(ServiceEvent::WorkerFailed), 1);
    EXPECT_EQ(eventType(ServiceEvent::ForcedEnd), 2);
    EXPECT_EQ(eventType(ServiceEvent::Started), 4);
}

}  // namespace
}  // namespace wl
