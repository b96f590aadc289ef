// How a file's fields group into time steps, and moving between them: the
// step arithmetic of files laid out step by step, and steps by valid time
// for any other order.
#include "GribFile.h"

#include "GribKeys.h"
#include "GribParameters.h"

#include <algorithm>

// ---------------------------------------------------------------------------
// Compound analysis

void GribFile::takeAreaOf(const GribMsg& first)
{
    const float milli = 0.001f;
    area = QRectF(float(first.lon1) * milli, float(first.lat1) * milli,
                  float(first.lon2 - first.lon1) * milli, float(first.lat2 - first.lat1) * milli);
    gridStep = float(first.di) * milli;
    lat1 = first.lat1;
    lon1 = first.lon1;
    di = first.di;
}

void GribFile::analyze()
{
    timeStep = 1;
    compoundSize = 0;
    shortFirstCompound = false;
    gcts.clear();
    groups.clear();
    derived.clear();
    byValidTime = false;
    currentGroup = -1;
    if (offsets.empty())
        return;
    linkAccumulations();
    current = 0;
    GribMsg first;
    readHeader(0, first);
    takeAreaOf(first);

    compoundSize = 1;
    bool precipitationSeen = false;
    bool repeated = false;
    while (current + 1 < offsets.size()) {
        ++current;
        const unsigned key = index[current].gct;
        gcts.push_back(key);
        precipitationSeen = precipitationSeen || key == GribKey::precipitation;
        if (key == first.gct) {
            repeated = true;
            break;
        }
        ++compoundSize;
    }
    if (repeated)
        timeStep = int(index[0].validTime.secsTo(index[current].validTime) / 3600);
    if (repeated && !precipitationSeen) {
        // Read the second compound: when it carries precipitation, the
        // first one lacks the message the later ones hold.
        for (int k = 0; k < compoundSize && current + 1 < offsets.size(); ++k) {
            if (index[++current].gct == GribKey::precipitation) {
                gcts.push_back(GribKey::precipitation);
                shortFirstCompound = true;
                ++compoundSize;
                break;
            }
        }
    }
    if (!stepLayoutHolds())
        groupByValidTime();
}

// Whether the file is laid out time step by time step, as the compound
// arithmetic assumes: edition 1 only, every compound of one valid time,
// and no two compounds of the same one.
bool GribFile::stepLayoutHolds() const
{
    for (const GribField& field : index) {
        if (field.edition != 1 || field.gct == GribKey::currentU)
            return false;
    }
    std::vector<QDateTime> times;
    for (int n = 0; n < getCompoundNum(); ++n) {
        const int start = compoundStart(n);
        const int count = n == 0 ? std::max(compoundSize - (shortFirstCompound ? 1 : 0), 1) : compoundSize;
        const QDateTime& time = index[size_t(start)].validTime;
        for (int k = start + 1; k < start + count && k < messageCount(); ++k) {
            if (index[size_t(k)].validTime != time)
                return false;
        }
        times.push_back(time);
    }
    std::sort(times.begin(), times.end());
    return std::adjacent_find(times.begin(), times.end()) == times.end();
}

// Compounds made of the drawable fields of each valid time, in the model's
// key order; a key met twice at one time keeps its first field.
void GribFile::groupByValidTime()
{
    byValidTime = true;
    std::vector<int> drawable;
    for (size_t n = 0; n < index.size(); ++n) {
        if (index[n].drawable && index[n].validTime.isValid())
            drawable.push_back(int(n));
    }
    std::stable_sort(drawable.begin(), drawable.end(), [this](int a, int b) {
        const GribField& fa = index[size_t(a)];
        const GribField& fb = index[size_t(b)];
        if (fa.validTime != fb.validTime)
            return fa.validTime < fb.validTime;
        if (fa.gct != fb.gct)
            return keyRank(fa.gct) < keyRank(fb.gct);
        // Of two totals ending together the one since the later start is
        // kept: GFS states the last step's bucket beside the whole run's.
        return fa.periodStart.isValid() && fb.periodStart.isValid() && fa.periodStart > fb.periodStart;
    });
    gcts.clear();
    for (int n : drawable) {
        const GribField& field = index[size_t(n)];
        if (groups.empty() || index[size_t(groups.back().front())].validTime != field.validTime)
            groups.emplace_back();
        std::vector<int>& group = groups.back();
        if (!group.empty() && index[size_t(group.back())].gct == field.gct)
            continue;
        group.push_back(n);
    }
    for (std::vector<int>& group : groups) {
        deriveStreams(group);
        for (int n : group) {
            if (!containsGct(keyOfMember(n)))
                gcts.push_back(keyOfMember(n));
        }
    }
    // A time of a lone current component has nothing left to show.
    groups.erase(std::remove_if(groups.begin(), groups.end(), [](const std::vector<int>& g) { return g.empty(); }),
                 groups.end());
    compoundSize = 0;
    for (const std::vector<int>& group : groups)
        compoundSize = std::max(compoundSize, int(group.size()));
    shortFirstCompound = false;
    timeStep = 1;
    if (groups.size() > 1)
        timeStep = int(fieldOfMember(groups[0].front()).validTime.secsTo(fieldOfMember(groups[1].front()).validTime) / 3600);
    if (!groups.empty()) {
        GribMsg first;
        readHeader(int(&fieldOfMember(groups[0].front()) - index.data()), first);
        takeAreaOf(first);
    }
    current = 0;
}

unsigned GribFile::keyOfMember(int n) const
{
    return size_t(n) < index.size() ? index[size_t(n)].gct : derived[size_t(n) - index.size()].gct;
}

// The file's field behind a compound member: a derived one's u component.
const GribField& GribFile::fieldOfMember(int n) const
{
    return index[size_t(n) < index.size() ? size_t(n) : size_t(derived[size_t(n) - index.size()].u)];
}

// A time step with the current's components but no tidal stream gets the
// stream made of them, in their place.
void GribFile::deriveStreams(std::vector<int>& group)
{
    const auto member = [&](unsigned gct) {
        return std::find_if(group.begin(), group.end(), [&](int n) { return index[size_t(n)].gct == gct; });
    };
    const auto u = member(GribKey::currentU);
    const auto v = member(GribKey::currentV);
    if (u == group.end() || v == group.end() || member(GribKey::tidalSpeed) != group.end()) {
        group.erase(std::remove_if(group.begin(), group.end(), [&](int n) {
            return index[size_t(n)].gct == GribKey::currentU || index[size_t(n)].gct == GribKey::currentV;
        }), group.end());
        return;
    }
    const int uField = *u, vField = *v;
    group.erase(std::remove(group.begin(), group.end(), uField), group.end());
    group.erase(std::remove(group.begin(), group.end(), vField), group.end());
    for (unsigned gct : {GribKey::tidalSpeed, GribKey::tidalDirection}) {
        group.push_back(int(index.size() + derived.size()));
        derived.push_back({gct, uField, vField});
    }
}

// Pairs each accumulation with the one of the same start that ends latest
// before it: the difference is the amount since that earlier end.
void GribFile::linkAccumulations()
{
    earlierPeriod.assign(index.size(), -1);
    std::vector<int> totals;
    for (size_t n = 0; n < index.size(); ++n) {
        if (index[n].periodStart.isValid() && index[n].gct == GribKey::precipitation)
            totals.push_back(int(n));
    }
    // By start, then end: each total's predecessor among those of its
    // start is the one that ends before it.
    std::stable_sort(totals.begin(), totals.end(), [this](int a, int b) {
        const GribField& fa = index[size_t(a)];
        const GribField& fb = index[size_t(b)];
        return fa.periodStart != fb.periodStart ? fa.periodStart < fb.periodStart : fa.validTime < fb.validTime;
    });
    for (size_t k = 1; k < totals.size(); ++k) {
        const GribField& field = index[size_t(totals[k])];
        size_t before = k;
        while (before > 0 && index[size_t(totals[before - 1])].periodStart == field.periodStart &&
               index[size_t(totals[before - 1])].validTime == field.validTime)
            --before;  // another total of the same period
        if (before == 0)
            continue;
        const GribField& earlier = index[size_t(totals[before - 1])];
        if (earlier.periodStart == field.periodStart && earlier.validTime > field.periodStart)
            earlierPeriod[size_t(totals[k])] = totals[before - 1];
    }
}

// ---------------------------------------------------------------------------
// Message navigation

void GribFile::firstMsg(GribMsg& msg)
{
    if (offsets.empty()) {
        msg.releaseValues();
        return;
    }
    current = 0;
    decodeField(current, msg);
}

void GribFile::lastMsg(GribMsg& msg)
{
    if (offsets.empty()) {
        msg.releaseValues();
        return;
    }
    current = offsets.size() - 1;
    decodeField(current, msg);
}

bool GribFile::nextMsg(GribMsg& msg)
{
    if (current + 1 >= offsets.size())
        return false;
    ++current;
    decodeField(current, msg);
    return true;
}

bool GribFile::prevMsg(GribMsg& msg)
{
    if (current == 0 || current >= offsets.size())
        return false;
    --current;
    decodeField(current, msg);
    return true;
}

bool GribFile::goMsg(int index, GribMsg& msg)
{
    if (index < 0 || size_t(index) >= offsets.size())
        return false;
    current = size_t(index);
    decodeField(current, msg);
    return true;
}

// ---------------------------------------------------------------------------
// Compound navigation

int GribFile::getCompoundNum() const
{
    if (byValidTime)
        return int(groups.size());
    if (compoundSize < 1)
        return 0;
    const int messages = messageCount() + (shortFirstCompound ? 1 : 0);
    return messages / compoundSize;
}

namespace {

// A message slot made ready for reuse: values freed, fields zero.
GribMsg& emptied(GribMsg& msg)
{
    msg = GribMsg();
    return msg;
}

}  // namespace

// Decodes count messages from first into c, reusing its slots: each value
// array is freed just before the next one is allocated.  Freeing a whole
// compound at once hands the memory back to the system, and every decode
// would then fault fresh pages in.
void GribFile::readMessages(int first, int count, CompoundMsg& c)
{
    c.resize(size_t(std::max(count, 0)));
    for (int k = 0; k < count; ++k) {
        if (!goMsg(first + k, emptied(c[size_t(k)]))) {
            c.resize(size_t(k));
            return;
        }
    }
}

// Decodes compound n of a file grouped by valid time into c, reusing its
// slots as readMessages does.
void GribFile::readGroup(int n, CompoundMsg& c)
{
    const std::vector<int>& group = groups[size_t(n)];
    c.resize(group.size());
    for (size_t k = 0; k < group.size(); ++k) {
        current = size_t(group[k]);
        decodeField(current, emptied(c[k]));
    }
    currentGroup = n;
}

int GribFile::compoundStart(int n) const
{
    return n == 0 ? 0 : n * compoundSize - (shortFirstCompound ? 1 : 0);
}

void GribFile::firstCompound(CompoundMsg& c)
{
    if (byValidTime && !groups.empty()) {
        readGroup(0, c);
        return;
    }
    if (offsets.empty() || byValidTime) {
        c.clear();
        return;
    }
    // The first message is read even before the file has been analysed.
    readMessages(0, std::max(compoundSize - (shortFirstCompound ? 1 : 0), 1), c);
}

bool GribFile::hasNextCompound() const
{
    if (byValidTime)
        return size_t(currentGroup + 1) < groups.size();
    return compoundSize < 1 || current + size_t(compoundSize) < offsets.size();
}

bool GribFile::nextCompound(CompoundMsg& c)
{
    if (byValidTime) {
        if (!hasNextCompound())
            return false;
        readGroup(currentGroup + 1, c);
        return true;
    }
    const size_t start = current;
    c.resize(size_t(std::max(compoundSize, 0)));
    for (int k = 0; k < compoundSize; ++k) {
        if (!nextMsg(emptied(c[size_t(k)]))) {
            c.resize(size_t(k));
            // Past the last complete compound: the cursor goes back to the
            // end of the one before, so that stepping back still finds
            // whole compounds.
            current = start;
            return false;
        }
    }
    return true;
}

bool GribFile::hasPrevCompound() const
{
    if (byValidTime)
        return currentGroup > 0 && size_t(currentGroup) < groups.size();
    const int f = shortFirstCompound ? 1 : 0;
    const int s = compoundSize;
    const int i = currentIndex();
    // At (or before) the end of the first compound there is nothing before.
    if (s < 1 || i <= s - 1 - f || i >= messageCount())
        return false;
    return (f == 1 && i == 2 * s - 2) || i - 2 * s + 1 >= 0;
}

bool GribFile::prevCompound(CompoundMsg& c)
{
    if (!hasPrevCompound())
        return false;
    if (byValidTime) {
        readGroup(currentGroup - 1, c);
        return true;
    }
    const int s = compoundSize;
    const int i = currentIndex();
    if (shortFirstCompound && i == 2 * s - 2)
        firstCompound(c);
    else
        readMessages(i - 2 * s + 1, s, c);
    return true;
}

bool GribFile::goCompound(int n, CompoundMsg& c)
{
    if (n < 0 || n >= getCompoundNum())
        return false;
    if (byValidTime)
        readGroup(n, c);
    else if (n == 0)
        firstCompound(c);
    else
        readMessages(compoundStart(n), compoundSize, c);
    return true;
}

void GribFile::lastCompound(CompoundMsg& c)
{
    if (byValidTime) {
        goCompound(getCompoundNum() - 1, c);
        return;
    }
    const int m = messageCount();
    if (m == 1 || compoundSize < 1)
        return;
    const int f = shortFirstCompound ? 1 : 0;
    goCompound((m + f) / compoundSize - 1, c);
}

void GribFile::readCompound(int n, CompoundMsg& c)
{
    if (byValidTime) {
        // Steps by time have no arithmetic to follow: step n is read whole.
        if (n >= 0 && n < getCompoundNum() && c.size() >= groups[size_t(n)].size())
            readGroup(n, c);
        return;
    }
    for (int k = 0; k < compoundSize && size_t(k) < c.size(); ++k) {
        const long index = long(n) * compoundSize + k;
        if (index < 0 || index >= messageCount()) {
            c[size_t(k)].releaseValues();
            continue;
        }
        current = size_t(index);
        decodeField(current, c[size_t(k)]);
    }
}

std::vector<unsigned> GribFile::compoundKeys(int n) const
{
    std::vector<unsigned> found;
    if (n < 0 || n >= getCompoundNum())
        return found;
    if (byValidTime) {
        for (int k : groups[size_t(n)])
            found.push_back(keyOfMember(k));
        return found;
    }
    const int count = n == 0 ? std::max(compoundSize - (shortFirstCompound ? 1 : 0), 1) : compoundSize;
    for (int index = compoundStart(n); index < compoundStart(n) + count && index < messageCount(); ++index)
        found.push_back(this->index[size_t(index)].gct);
    return found;
}

QDateTime GribFile::compoundValidTime(int n) const
{
    if (n < 0 || n >= getCompoundNum())
        return {};
    if (byValidTime)
        return fieldOfMember(groups[size_t(n)].front()).validTime;
    const int first = compoundStart(n);
    return first < messageCount() ? index[size_t(first)].validTime : QDateTime();
}

bool GribFile::containsGct(unsigned gct) const
{
    for (unsigned key : gcts) {
        if (key == gct)
            return true;
    }
    return false;
}
