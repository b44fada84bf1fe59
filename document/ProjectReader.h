#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "document/ProjectFile.h"
#include "json/ParseHandler.h"
#include "json/TreeBuilder.h"
#include "json/jsonObject.h"

// Reads a project file's text as the parser finds it. The few top-level
// members are kept as a small tree; the elements of "polls" and "datamap",
// which can number tens of thousands, are taken one at a time as they end,
// so a large file costs no tree of them. What a file means is what it would
// mean read as a tree: a member named twice counts with its later value (a
// later "polls" or "datamap" replaces the earlier one whole), and a member of
// the wrong type counts as absent.
class ProjectReader final : public json::ParseHandler {
  public:
    ProjectReader();

    void Name(std::wstring_view name) override;
    void BeginObject() override;
    void EndObject() override;
    void BeginArray() override;
    void EndArray() override;
    void String(std::wstring_view text) override;
    void Int(int32_t value) override;
    void Double(double value) override;
    void Bool(bool value) override;
    void Null() override;

    // Once the whole text parsed: what it holds into setup (members the file
    // does not hold keep setup's values; the polls and the data map are
    // replaced). False, with result.error saying why, when a poll is malformed.
    bool Finish(ProjectSetup& setup, ProjectLoadResult& result);

  private:
    enum class List { None, Polls, Datamap };
    // One member of a list element as last given: an integer, a text, or
    // something else (which counts as absent).
    struct Member {
        enum Kind { Absent, Integer, Text, Other } kind = Absent;
        int32_t number = 0;
        std::wstring text;
    };
    struct Element {
        bool isObject = false;
        Member members[4];  // by the list's member names, see MemberIndex
    };

    // Every event: where it falls, and what it means there.
    void Value(Member::Kind kind, int32_t number, std::wstring_view text);
    void Begin(bool isObject);
    void End();
    // A value at the top level that is no list's array.
    void NoList();
    void StartElement(bool isObject);
    int MemberIndex(std::wstring_view name) const;
    void ElementDone();
    void PollDone();
    void DataEntryDone();

    json::jsonObject root_;
    json::TreeBuilder tree_{root_};
    int depth_ = 0;
    // The list a top-level name announces, until its value shows whether it
    // is an array.
    List named_ = List::None;
    // The list whose elements are being read, and where inside them.
    List reading_ = List::None;
    int member_ = -1;
    Element element_;

    bool pollsGiven_ = false;
    std::vector<Poll> polls_;
    std::vector<ProjectLoadNote> pollNotes_;
    std::wstring pollError_;
    uint32_t pollPosition_ = 0;

    bool datamapGiven_ = false;
    DataMap datamap_;
    std::vector<ProjectLoadNote> dataNotes_;
    std::wstring valueText_;
};
