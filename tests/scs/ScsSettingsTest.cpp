// Local settings, comm settings, destinations, callbacks and the agent id store.

#include "ScsTestSupport.h"

namespace {

std::mutex g_changedMutex;
std::vector<int32_t> g_changed;

std::vector<int32_t> TakeChanged() {
    std::lock_guard<std::mutex> lock(g_changedMutex);
    return std::move(g_changed);
}

// The text handed out, or the status in brackets; the out pointer must be null after a failure.
template <typename Call>
std::string Text(Call call) {
    char* pValue = reinterpret_cast<char*>(&pValue);
    const uint32_t uStatus = call(&pValue);
    return uStatus == 0 ? Take(pValue) : "[" + std::to_string(uStatus) + "]" + Take(pValue);
}
// A local settings value of a destination (or, with SCS_SERVER_..., of a listener).
std::string Lookup(
    int32_t iId, const char* pszSection = "event_query_services",
    const char* pszKey = "connectTimeout",
    decltype(&SCS_RetrieveLocalSettingsValue) pfnRetrieve = &SCS_RetrieveLocalSettingsValue) {
    return Text([&](char** ppValue) { return pfnRetrieve(iId, pszSection, pszKey, ppValue); });
}
std::string AgentId() { return Text(SCS_GetAgentId); }

uint32_t OnSettingsChanged(int32_t iDestinationId) {
    std::lock_guard<std::mutex> lock(g_changedMutex);
    g_changed.push_back(iDestinationId);
    // Calling back into the component from the callback must work: no lock is held.
    EXPECT_EQ(Lookup(iDestinationId), "2500");
    return 0;
}

std::string Failed(uint32_t uStatus) { return "[" + std::to_string(uStatus) + "]<null>"; }

}  // namespace

class ScsSettingsTest : public CScsTest {
protected:
    // The saved text (after a newline) of the destination, checked to load back to the same
    // settings: the copy, saved to the file it came from, writes the same text.
    std::string RoundTrip(int32_t iId) {
        EXPECT_EQ(SCS_SaveCommSettings(iId, m_dir.Path("saved.ini").c_str()), 0u);
        const std::string strSaved = m_dir.Read("saved.ini");
        EXPECT_EQ(strSaved.find("\n="), std::string::npos) << strSaved;
        int32_t iCopy = -1;
        EXPECT_EQ(SCS_AddDestinationFiles(m_dir.Path("local1.ini").c_str(),
                                          m_dir.Path("saved.ini").c_str(), &iCopy),
                  0u);
        m_dir.Write("saved.ini", "");
        EXPECT_EQ(SCS_SaveCommSettings(iCopy, nullptr), 0u);
        EXPECT_EQ(m_dir.Read("saved.ini"), strSaved);
        return "\n" + strSaved;
    }
};

TEST_F(ScsSettingsTest, LooksUpLocalSettingsAndReloadsThemWithNotification) {
    const int32_t iId = AddDestination(LOCAL, "[servers]\n");
    EXPECT_EQ(Lookup(iId), "1500");
    EXPECT_EQ(Lookup(iId, "event_query_services", "retryCeiling"), Failed(SCS_E_KEY_NOT_FOUND));
    EXPECT_EQ(Lookup(iId, "other", "connectTimeout"), Failed(SCS_E_KEY_NOT_FOUND));
    EXPECT_EQ(Lookup(iId + 100), Failed(SCS_E_BAD_DESTINATION));

    ASSERT_EQ(SCS_RegisterSettingsChanged(&OnSettingsChanged, nullptr), 0u);
    TakeChanged();
    m_dir.Write("local1.ini", "[event_query_services]\nconnectTimeout = 2500\n");
    EXPECT_EQ(SCS_LoadLocalSettingsFile(iId, nullptr), 0u);
    EXPECT_EQ(TakeChanged(), std::vector<int32_t>{iId});
    EXPECT_EQ(Lookup(iId), "2500");

    // A file that cannot be read keeps the old settings and notifies nobody.
    EXPECT_EQ(SCS_LoadLocalSettingsFile(iId, m_dir.Path("missing.ini").c_str()),
              SCS_E_SETTINGS_FILE);
    EXPECT_TRUE(TakeChanged().empty());
    EXPECT_TRUE(Logged("missing.ini"));
    EXPECT_EQ(Lookup(iId), "2500");

    EXPECT_EQ(SCS_UnregisterSettingsChanged(&OnSettingsChanged), 0u);
    EXPECT_EQ(SCS_LoadLocalSettingsFile(iId, nullptr), 0u);
    EXPECT_TRUE(TakeChanged().empty());
}

TEST_F(ScsSettingsTest, ServerListEditsSaveAndLoadBackUnchanged) {
    const int32_t iId = AddDestination(
        LOCAL,
        "[servers]\nurl = https://eq1.example.org\nurl = http://eq2.example.org:8080/\n"
        "[transport]\nconnect_timeout = 5000\n[site]\nowner = ops\n");
    char* pUrl = nullptr;
    EXPECT_EQ(SCS_GetServerInfo(iId, 2, &pUrl), SCS_E_BAD_SERVER_INDEX);
    EXPECT_EQ(SCS_AddServer(iId, "https://eq3.example.org:8443"), 0u);
    EXPECT_EQ(SCS_AddServer(iId, "ftp://eq4.example.org"), 0xC7210003u);
    // One byte too long for the line "url=..." of a saved file.
    EXPECT_EQ(SCS_AddServer(iId, ("https://" + std::string(188, 'a')).c_str()), 0xC7210003u);
    EXPECT_EQ(SCS_DeleteServer(iId, 0), 0u);
    EXPECT_EQ(SCS_DeleteServer(iId, 2), SCS_E_BAD_SERVER_INDEX);

    // Saved and loaded back: the same servers, nothing else lost.
    const std::string strText = RoundTrip(iId);
    EXPECT_NE(
        strText.find("\nurl=http://eq2.example.org:8080/\nurl=https://eq3.example.org:8443\n"),
        std::string::npos);
    EXPECT_NE(strText.find("connect_timeout=5000\n"), std::string::npos);
    EXPECT_NE(strText.find("\n[site]\nowner=ops\n"), std::string::npos);

    // A comm file with a bad URL is refused and the destination keeps its servers.
    m_dir.Write("comm1.ini", "[servers]\nurl = eq5.example.org\n");
    EXPECT_EQ(SCS_LoadCommSettingsFile(iId, nullptr), SCS_E_SETTINGS_FILE);
    uint32_t uCount = 0;
    EXPECT_TRUE(SCS_GetServerCount(iId, &uCount) == 0 && uCount == 2) << uCount;

    EXPECT_EQ(SCS_RemoveDestination(iId), 0u);
    EXPECT_EQ(SCS_RemoveDestination(iId), SCS_E_BAD_DESTINATION);
    int32_t ids[2] = {0, 0};
    uint32_t uDestinations = 2;
    EXPECT_TRUE(SCS_GetDestinations(ids, &uDestinations) == 0 && uDestinations == 1 &&
                ids[0] != iId);
}

// What loads saves to a text that loads back to the same settings: the saved text of the copy
// is the saved text of the original. Each row also names lines the saved text must hold.
TEST_F(ScsSettingsTest, SavedCommSettingsLoadBackTheSame) {
    const std::string strLongUrl = "http://" + std::string(188, 'a');  // a 199-byte line
    const std::string strKey = std::string(48, 'k');
    const std::pair<std::string, std::vector<std::string>> rows[] = {
        // No [transport]: certificates and host names are checked unless the file says not.
        {"[servers]\nurl = https://eq1.example.org\n",
         {"connect_timeout=30000", "transfer_timeout=120000", "verify_peer=1", "verify_host=1",
          "keep_alive=1", "keep_alive_idle=60"}},
        {"[transport]\n=x\n", {"verify_host=1"}},
        {"[transport]\nk=v\n=p\n", {"k=v"}},
        {"[servers]\nurl=" + strLongUrl + "\n", {"url=" + strLongUrl}},
        {"[site]\nk = v\n  w\n", {"k=v", "k=w"}},
        // The reader gives a continuation the first 49 bytes of the key before: here a blank.
        {"[site]\n" + strKey + " x = v\n  w\n", {strKey + " x=v", strKey + "=w"}},
        {"[transport]\n  verify_peer : off ; test only\n", {"verify_peer=0"}},
    };
    for (const auto& [strComm, lines] : rows) {
        SCOPED_TRACE(strComm);
        const std::string strSaved = RoundTrip(AddDestination(LOCAL, strComm));
        for (const std::string& strLine : lines)
            EXPECT_NE(strSaved.find("\n" + strLine + "\n"), std::string::npos) << strSaved;
    }
    EXPECT_TRUE(Logged("1 entry without a key ignored", EQ_TRACE_WARNING));

    // A value from a continuation line under a long key cannot be written back on one line: the
    // file is refused rather than changed.
    int32_t iId = -1;
    const std::string strComm = m_dir.Write(
        "long.ini", "[site]\n" + std::string(40, 'k') + "=v\n " + std::string(170, 'w') + "\n");
    EXPECT_EQ(SCS_AddDestinationFiles(m_dir.Path("local1.ini").c_str(), strComm.c_str(), &iId),
              SCS_E_SETTINGS_FILE);
    EXPECT_TRUE(Logged("does not fit on one line"));

    // A bad value of these keys must not cost the destination its servers: the default stands in,
    // with a warning. A row without a warning names the line saved, or none when the key is not
    // written.
    const char* const pszSize = "is not a number from 4096 to 1073741824; using 67108864";
    const char* const pszIdle = "is not a number from 1 to 3600; using 60";
    // Key, value, warning (none: no warning), line saved (none: the key is not written).
    const std::tuple<const char*, const char*, const char*, const char*> transport[] = {
        {"max_response_size", "4095", pszSize, nullptr},
        {"max_response_size", "4096", nullptr, "max_response_size=4096"},
        {"max_response_size", "1073741824", nullptr, "max_response_size=1073741824"},
        {"max_response_size", "1073741825", pszSize, nullptr},
        {"max_response_size", "lots", pszSize, nullptr},
        {"keep_alive_idle", "0", pszIdle, "keep_alive_idle=60"},
        {"keep_alive_idle", "3601", pszIdle, "keep_alive_idle=60"},
        {"keep_alive_idle", "3600", nullptr, "keep_alive_idle=3600"},
        {"keep_alive", "2", "is not a switch (0 or 1); using 1", "keep_alive=1"},
        {"keep_alive", "0", nullptr, "keep_alive=0"},
    };
    for (const auto& [pszKey, pszValue, pszWarning, pszSaved] : transport) {
        const std::string strEntry = std::string(pszKey) + " '" + pszValue + "' ";
        SCOPED_TRACE(strEntry);
        const std::string strSaved = RoundTrip(
            AddDestination(LOCAL, std::string("[transport]\n") + pszKey + " = " + pszValue + "\n"));
        EXPECT_EQ(
            Logged("[transport] " + strEntry + (pszWarning ? pszWarning : ""), EQ_TRACE_WARNING),
            pszWarning != nullptr);
        const std::string strLine =
            pszSaved ? pszSaved + std::string("\n") : pszKey + std::string("=");
        EXPECT_EQ(strSaved.find("\n" + strLine) != std::string::npos, pszSaved != nullptr)
            << strSaved;
    }
}

TEST_F(ScsSettingsTest, AgentIdComesFromSeedThenFileAndSurvivesRestart) {
    AddDestination(LOCAL, "[servers]\n");
    EXPECT_EQ(AgentId(), Failed(SCS_E_NO_AGENT_ID));
    EXPECT_EQ(SCS_SetLastGoodAgentId("last-good"), 0u);
    EXPECT_EQ(AgentId(), "last-good");
    EXPECT_EQ(SCS_SetAgentId("bad\nid"), 0xC7210003u);
    // Both set: the current id wins; cleared, the last good one comes back.
    EXPECT_EQ(SCS_SetAgentId("current"), 0u);
    EXPECT_EQ(AgentId(), "current");
    EXPECT_EQ(SCS_SetAgentId(""), 0u);
    EXPECT_EQ(AgentId(), "last-good");

    // The last shutdown forgets everything kept only in memory; the agent id file is newer than
    // the seed.
    const std::string strLocal =
        "[agent]\nagent_id = seed-id\nagent_id_file = " + m_dir.Path("agent.ini") + "\n";
    for (const char* pszExpected : {"seed-id", "set-id"}) {
        ASSERT_EQ(SCS_ShutDown(), 0u);
        EXPECT_EQ(AgentId(), Failed(SCS_E_NOT_INITIALIZED));
        ASSERT_EQ(SCS_Init("5.9", "scs_tests", nullptr, &m_log), 0u);
        AddDestination(strLocal, "[servers]\n");
        EXPECT_EQ(AgentId(), pszExpected);
        EXPECT_EQ(SCS_SetAgentId("set-id"), 0u);
        // The file holds both ids for the next start, where the current one must still win.
        EXPECT_EQ(SCS_SetLastGoodAgentId("good-id"), 0u);
    }
}

TEST_F(ScsSettingsTest, InitIsCountedAndListenersHaveTheirOwnInit) {
    EXPECT_EQ(SCS_Init("4.5", nullptr, nullptr, nullptr), 0xC7210003u);
    ASSERT_EQ(SCS_Init("5.9", nullptr, nullptr, nullptr), 0u);
    ASSERT_EQ(SCS_ShutDown(), 0u);  // one init left: still usable
    EXPECT_GE(AddDestination(LOCAL, "[servers]\n"), 0);
    char text[64];
    EXPECT_EQ(SCS_GetErrorMsg(SCS_E_TIMEOUT, text, sizeof(text)), 0u);
    EXPECT_NE(std::string(text).find("[ID=0xC7590007]"), std::string::npos);

    int32_t iListener = -1;
    const std::string strLocal = m_dir.Path("local1.ini"), strComm = m_dir.Path("comm1.ini");
    ASSERT_EQ(SCS_SERVER_AddListenerFiles(strLocal.c_str(), strComm.c_str(), &iListener),
              SCS_E_NOT_INITIALIZED);
    ASSERT_EQ(SCS_SERVER_Init("5.9", nullptr, nullptr, &m_log), 0u);
    ASSERT_EQ(SCS_SERVER_AddListenerFiles(strLocal.c_str(), strComm.c_str(), &iListener), 0u);
    EXPECT_EQ(Lookup(iListener, "event_query_services", "connectTimeout",
                     &SCS_SERVER_RetrieveLocalSettingsValue),
              "1500");
    EXPECT_EQ(SCS_SERVER_RemoveListener(iListener), 0u);
    EXPECT_EQ(SCS_SERVER_RemoveListener(iListener), SCS_E_BAD_LISTENER);
    EXPECT_EQ(SCS_SERVER_ShutDown(), 0u);
    EXPECT_EQ(SCS_SERVER_ShutDown(), 0u);
}
