// Who a found process is: where its control group places it, how its start
// is written, and what is read of a process that is (or is no longer) there.
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "linux/Owner.h"
#include "search/Identity.h"

namespace {

proc::Place PlaceOf(const std::string& text) {
    proc::Place place;
    EXPECT_TRUE(proc::ParseCgroup(text, place)) << text;
    return place;
}

TEST(OwnerTest, TheControlGroupNamesTheSystemdUnitAndWhoseManagerRunsIt) {
    EXPECT_EQ(PlaceOf("0::/system.slice/cron.service\n").unit, "cron.service");
    EXPECT_FALSE(PlaceOf("0::/system.slice/cron.service\n").userUnit);
    EXPECT_EQ(PlaceOf("0::/user.slice/user-1000.slice/session-2.scope\n").unit, "session-2.scope");
    EXPECT_FALSE(PlaceOf("0::/user.slice/user-1000.slice/session-2.scope\n").userUnit);
    // Below the user's manager: the user's own unit, as systemctl --user names it.
    const proc::Place app =
        PlaceOf("0::/user.slice/user-1000.slice/user@1000.service/app.slice/app-org.gnome.Terminal.slice/"
                "vte-spawn-4f1c.scope\n");
    EXPECT_EQ(app.unit, "vte-spawn-4f1c.scope");
    EXPECT_TRUE(app.userUnit);
    const proc::Place manager = PlaceOf("0::/user.slice/user-1000.slice/user@1000.service\n");
    EXPECT_EQ(manager.unit, "user@1000.service");
    EXPECT_FALSE(manager.userUnit);
    // A kernel thread, or a system without systemd: in no unit, but read.
    EXPECT_EQ(PlaceOf("0::/\n").unit, "");
    EXPECT_EQ(PlaceOf("0::/init.scope\n").unit, "init.scope");
    // cgroup v1: systemd's own hierarchy, whatever the controllers' lines say.
    EXPECT_EQ(PlaceOf("4:memory:/other.service\n1:name=systemd:/system.slice/ssh.service\n0::/\n").unit,
              "ssh.service");
    EXPECT_EQ(PlaceOf("4:memory:/x/y.service\n1:name=systemd:/system.slice/ssh.service\n").unit, "ssh.service");
    EXPECT_EQ(PlaceOf("4:memory:/x/y.service\n").unit, "y.service");
    proc::Place none;
    EXPECT_FALSE(proc::ParseCgroup("", none));
    EXPECT_FALSE(proc::ParseCgroup("garbage without colons\n", none));
}

TEST(OwnerTest, TheControlGroupNamesTheContainerAndPodByEveryEnginesRule) {
    const std::string id(64, 'a');
    const std::string other = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    struct Case {
        std::string text, runtime, id, pod;
    };
    for (const Case& c : std::vector<Case>{
             {"0::/system.slice/docker-" + id + ".scope\n", "docker", id, ""},
             {"12:pids:/docker/" + other + "\n0::/\n", "", "", ""},  // only v2's line counts where there is one
             {"12:name=systemd:/docker/" + other + "\n", "docker", other, ""},
             {"0::/machine.slice/libpod-" + id + ".scope/container\n", "podman", id, ""},
             {"0::/user.slice/user-1000.slice/user@1000.service/user.slice/libpod-" + other + ".scope\n", "podman",
              other, ""},
             // conmon watches a container from outside it.
             {"0::/machine.slice/libpod-conmon-" + id + ".scope\n", "", "", ""},
             {"0::/kubepods.slice/kubepods-burstable.slice/kubepods-burstable-pod5f1c_2b_9d.slice/cri-containerd-" +
                  other + ".scope\n",
              "containerd", other, "5f1c-2b-9d"},
             {"0::/kubepods.slice/kubepods-pod77_a.slice/crio-" + id + ".scope\n", "cri-o", id, "77-a"},
             {"0::/kubepods/besteffort/pod8e2d-11/" + id + "\n", "kubernetes", id, "8e2d-11"},
             // Names that merely look alike.
             {"0::/system.slice/podman-auto-update.service\n", "", "", ""},
             {"0::/system.slice/docker-short.scope\n", "", "", ""},
             {"0::/pod12/" + id + "\n", "", "", ""},
         }) {
        const proc::Place place = PlaceOf(c.text);
        EXPECT_EQ(place.container.runtime, c.runtime) << c.text;
        EXPECT_EQ(place.container.id, c.id) << c.text;
        EXPECT_EQ(place.container.pod, c.pod) << c.text;
    }
}

TEST(OwnerTest, PlacesAndStartsAreWrittenAlikeEverywhere) {
    ProcessIdentity identity;
    EXPECT_EQ(PlaceText(identity), "");
    identity.unit = "app.service";
    EXPECT_EQ(PlaceText(identity), "app.service");
    identity.userUnit = true;
    EXPECT_EQ(PlaceText(identity), "user:app.service");
    identity.container = Container{"docker", "3f4e5a6b7c8d9e0f1a2b", ""};
    EXPECT_EQ(PlaceText(identity), "docker:3f4e5a6b7c8d");
    ProcessIdentity host;
    host.services = {"Dnscache", "nsi"};
    EXPECT_EQ(PlaceText(host), "Dnscache,nsi");

    EXPECT_EQ(IsoTime(ProcessIdentity::kUnknown), "");
    EXPECT_EQ(IsoTime(0), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(IsoTime(1709208000123), "2024-02-29T12:00:00.123Z");
    EXPECT_EQ(IsoTime(1798761599999), "2026-12-31T23:59:59.999Z");
    EXPECT_EQ(IsoTime(-1500), "1969-12-31T23:59:58.500Z");
    EXPECT_EQ(IsoTime(951782400000), "2000-02-29T00:00:00.000Z");
}

// A hold whose process ended, or runs on.
class FakeHold : public HeldProcess {
public:
    explicit FakeHold(bool running) : m_running(running) {}
    Outcome Signal(int, std::string&) override { return Outcome::Ended; }
    bool Running() const override { return m_running; }

private:
    bool m_running;
};

TEST(OwnerTest, AProcessIsReadThroughItsOwnDirectoryAndOnlyWhileItsHoldRuns) {
    const int procRoot = open("/proc", O_PATH | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(procRoot, 0);
    const uint32_t self = static_cast<uint32_t>(getpid());
    const auto identities = proc::ReadIdentities(
        {{self, std::make_shared<FakeHold>(true)}, {self, std::make_shared<FakeHold>(false)}, {self, nullptr},
         {UINT32_MAX - 1, nullptr}},
        procRoot);
    close(procRoot);
    ASSERT_EQ(identities.size(), 4u);
    ASSERT_TRUE(identities[0] && identities[2]);
    EXPECT_EQ(identities[1], nullptr) << "its ID may be another process's now";
    EXPECT_EQ(identities[3], nullptr) << "there is no such process";
    const ProcessIdentity& me = *identities[0];
    char exe[PATH_MAX] = {};
    ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    EXPECT_EQ(me.exe, exe);
    std::ifstream cmdline("/proc/self/cmdline");
    const std::string text((std::istreambuf_iterator<char>(cmdline)), std::istreambuf_iterator<char>());
    ASSERT_TRUE(me.commandLineRead);
    ASSERT_FALSE(me.commandLine.empty());
    EXPECT_EQ(me.commandLine.front(), text.substr(0, text.find('\0')));
    EXPECT_EQ(me.parentPid, getppid());
    EXPECT_FALSE(me.parentName.empty());
    // Started before now, and not before the machine did.
    const int64_t now = static_cast<int64_t>(time(nullptr)) * 1000;
    EXPECT_LE(me.startedMs, now + 1000);
    EXPECT_GT(me.startedMs, now - 24LL * 3600 * 1000);
    EXPECT_TRUE(me.placeRead);
}

}  // namespace
