// The index of one GRIB file of either edition, its fields grouped into
// time steps (compounds), and the decoded message record the map, meteogram
// and point dialogs read values from.
#ifndef SKYVANE_GRIBFILE_H
#define SKYVANE_GRIBFILE_H

#include "GribField.h"

#include <QDateTime>
#include <QRectF>
#include <QString>

#include <cstdio>
#include <list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct grib_hdr;

// Value of a point missing under a bitmap.
constexpr float kGribMissingValue = -9999.0f;

// One decoded message.  Grid positions are in millidegrees.
class GribMsg {
public:
    GribMsg() = default;
    GribMsg(const GribMsg& other);
    GribMsg(GribMsg&& other) noexcept;
    GribMsg& operator=(const GribMsg& other);
    GribMsg& operator=(GribMsg&& other) noexcept;
    ~GribMsg();

    // Value of the grid point at or north-west of (lat, lon); false, with
    // value 0, when the point lies outside the grid.  A message without
    // values answers true with 0.
    bool getValueAt(int lat, int lon, float& value) const;
    // values[row * ni + col], unchecked.
    float getValueAtInd(int row, int col) const { return values[row * ni + col]; }

    // The valid time as a UTC date-time (invalid for an impossible date).
    QDateTime validTime() const;
    // Frees the values; the other fields stay.
    void releaseValues();

    float* values = nullptr;  // nj * ni floats, row 0 at lat1, or null
    // Gaussian grids: the latitude of each row, millidegrees, north to
    // south.  Empty for grids whose rows are dj apart.
    std::vector<int> rowLats;
    unsigned gct = 0;
    int nj = 0;
    int ni = 0;
    int lat1 = 0;
    int lon1 = 0;
    int lat2 = 0;
    int lon2 = 0;
    int di = 0;
    int dj = 0;
    unsigned short year = 0;
    unsigned short month = 0;
    unsigned short day = 0;
    unsigned short hour = 0;
    unsigned short minute = 0;

private:
    // Every field but the values.
    void copyFieldsFrom(const GribMsg& other);
    long rowAt(int lat) const;
};

// The messages of one time step, in file order.
class CompoundMsg : public std::vector<GribMsg> {
public:
    using Row = std::pair<QString, double>;
    using std::vector<GribMsg>::vector;

    // Rows getValueTableAt produces: a u wind message and its v make one.
    unsigned getValueTableRowNum() const;
    // One labelled value per message at (lat, lon) in degrees.
    void getValueTableAt(float lat, float lon, std::list<Row>& rows) const;
};

// Label of a key in the value table; empty for keys not shown there.
QString gribKeyLabel(unsigned gct);

class GribFile {
public:
    explicit GribFile(const char* path);
    GribFile(const GribFile&) = delete;
    GribFile& operator=(const GribFile&) = delete;

    bool load(const char* path);
    void makeIdx();
    void analyze();
    void decode(long offset, GribMsg& msg);

    void firstMsg(GribMsg& msg);
    void lastMsg(GribMsg& msg);
    bool nextMsg(GribMsg& msg);
    bool prevMsg(GribMsg& msg);
    bool goMsg(int index, GribMsg& msg);

    int getCompoundSize() const { return compoundSize; }
    int getCompoundNum() const;
    void firstCompound(CompoundMsg& c);
    bool nextCompound(CompoundMsg& c);
    bool prevCompound(CompoundMsg& c);
    bool goCompound(int n, CompoundMsg& c);
    void lastCompound(CompoundMsg& c);
    void readCompound(int n, CompoundMsg& c);
    // The keys of compound n's messages, as the index found them.
    std::vector<unsigned> compoundKeys(int n) const;
    // The valid time (UTC) of compound n, from the index; invalid when n
    // is not a compound of the file.
    QDateTime compoundValidTime(int n) const;
    // Whether nextCompound / prevCompound would find a whole compound.
    bool hasNextCompound() const;
    bool hasPrevCompound() const;

    // Every field of either edition, in file order; messageCount() of them.
    const std::vector<GribField>& fields() const { return index; }
    // Field n's values as the file stores them: storage order, file units,
    // points missing under a bitmap as -9999.  False, with the reason, when
    // the field cannot be decoded.
    bool storedValues(int n, std::vector<double>& values, std::string& error);
    // Why nothing of the file can be drawn; empty when something can.
    std::string openProblem() const;
    // Fields skipped because they cannot be read.
    int unreadableCount() const;
    // Compounds made by valid time, for files not laid out step by step.
    bool isGroupedByTime() const { return byValidTime; }

    bool containsGct(unsigned gct) const;
    bool isOurGribFile();
    void close() {}

    const std::string& getFileName() const { return fileName; }
    int messageCount() const { return static_cast<int>(offsets.size()); }
    const std::vector<long>& messageOffsets() const { return offsets; }
    // Index of the current message; messageCount() when there is none.
    int currentIndex() const { return static_cast<int>(current); }
    bool isShortFirstCompound() const { return shortFirstCompound; }
    const QRectF& getArea() const { return area; }
    const std::vector<unsigned>& getGcts() const { return gcts; }
    float getGridStep() const { return gridStep; }
    int getTimeStep() const { return timeStep; }
    int getLat1() const { return lat1; }
    int getLon1() const { return lon1; }
    int getDi() const { return di; }

private:
    struct BufferDeleter {
        void operator()(grib_hdr* gh) const;
    };

    // The one message buffer, grown to the largest message read and kept:
    // a new one per decode would be allocated and zeroed every time.
    grib_hdr* messageBuffer() const;
    bool loadMessage(long offset) const;
    bool loadedGridPlausible() const;
    bool readHeader(int n, GribMsg& msg);
    static GribField fieldOfLoaded(const grib_hdr* gh, long offset);
    int locateEdition1(std::vector<GribField>& found);
    long indexEdition2(std::FILE* fp, long from, long to, long fileSize, bool untilEdition1);
    void indexEdition2Between(std::FILE* fp, long from, const std::vector<GribField>& edition1, long fileSize);
    void mergeEditions(std::vector<GribField>& edition1);
    long addEdition2Message(std::FILE* fp, long offset, long fileSize);
    void decodeField(size_t n, GribMsg& msg);
    void decodeEdition2(const GribField& field, GribMsg& msg);
    void subtractEarlierPeriod(size_t n, GribMsg& msg);
    void readMessages(int first, int count, CompoundMsg& c);
    void readGroup(int n, CompoundMsg& c);
    int compoundStart(int n) const;
    bool atMessage() const { return current < offsets.size(); }
    bool stepLayoutHolds() const;
    void groupByValidTime();
    void deriveStreams(std::vector<int>& group);
    void decodeDerived(size_t k, GribMsg& msg);
    unsigned keyOfMember(int n) const;
    const GribField& fieldOfMember(int n) const;
    void linkAccumulations();
    void takeAreaOf(const GribMsg& first);

    std::string fileName;
    // Offsets are kept as long: files beyond 2 GB are not rare for archives.
    // One per field: the fields of one edition 2 message share it.
    std::vector<long> offsets;
    std::vector<GribField> index;
    // Per field: the one whose amount this accumulation's period includes
    // and that is taken off it, or -1.
    std::vector<int> earlierPeriod;
    // Compounds by valid time, each in the model's key order.
    bool byValidTime = false;
    // Members from index.size() on stand for fields made of two others.
    std::vector<std::vector<int>> groups;
    struct DerivedField {
        unsigned gct;  // the tidal stream's speed or direction
        int u, v;      // the current's components
    };
    std::vector<DerivedField> derived;
    int currentGroup = -1;
    size_t current = 0;
    int compoundSize = 0;
    bool shortFirstCompound = false;
    QRectF area;
    std::vector<unsigned> gcts;
    float gridStep = 0.0f;
    int timeStep = 0;
    int lat1 = 0;
    int lon1 = 0;
    int di = 0;
    mutable std::unique_ptr<grib_hdr, BufferDeleter> buffer;
};

#endif
