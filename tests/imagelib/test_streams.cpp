// Byte streams: the memory stream's growth, ownership and bounds, and the stdio stream.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "imagelib/pxfile.h"

TEST(MemFile, ReadsACallersBufferWithinItsSize) {
    unsigned char data[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    PxMemFile f(data, sizeof data);
    EXPECT_EQ(f.Size(), 10);
    unsigned char out[20] = {};
    EXPECT_EQ(f.Read(out, 1, 20), 10u);
    EXPECT_EQ(out[9], 9);
    EXPECT_EQ(f.GetC(), -1);
    EXPECT_TRUE(f.Eof());

    // Partial items are copied but not counted.
    ASSERT_TRUE(f.Seek(0, SEEK_SET));
    EXPECT_EQ(f.Read(out, 3, 4), 3u);
    EXPECT_EQ(f.Tell(), 10);
    EXPECT_EQ(f.Read(out, 1, 1), 0u);

    // A huge item count must not overflow into a small copy or a wild one.
    ASSERT_TRUE(f.Seek(2, SEEK_SET));
    EXPECT_EQ(f.Read(out, 2, SIZE_MAX), 4u);
}

TEST(MemFile, SeekClampsAndReportsPositionsPastTheEnd) {
    unsigned char data[10] = {};
    PxMemFile f(data, sizeof data);
    EXPECT_TRUE(f.Seek(-5, SEEK_SET));
    EXPECT_EQ(f.Tell(), 0);
    EXPECT_TRUE(f.Seek(-3, SEEK_END));
    EXPECT_EQ(f.Tell(), 7);
    EXPECT_TRUE(f.Seek(-20, SEEK_CUR));
    EXPECT_EQ(f.Tell(), 0);
    EXPECT_FALSE(f.Seek(0, 7));
    EXPECT_TRUE(f.Seek(100, SEEK_SET));
    EXPECT_EQ(f.Tell(), 100);
    EXPECT_EQ(f.Error(), 1);
    EXPECT_EQ(f.GetC(), -1);
}

TEST(MemFile, GrowingACallersBufferCopiesItAndZeroFillsTheGap) {
    unsigned char data[10];
    std::memset(data, 0xAB, sizeof data);
    {
        PxMemFile f(data, sizeof data);
        ASSERT_TRUE(f.Seek(100, SEEK_SET));
        unsigned char one = 0x5A;
        EXPECT_EQ(f.Write(&one, 1, 1), 1u);
        EXPECT_EQ(f.Capacity(), 4096);
        EXPECT_EQ(f.Size(), 101);
        unsigned char* buf = f.GetBuffer(false);
        ASSERT_NE(buf, data);
        EXPECT_EQ(buf[0], 0xAB);
        EXPECT_EQ(buf[9], 0xAB);
        for (int i = 10; i < 100; i++) ASSERT_EQ(buf[i], 0) << i;
        EXPECT_EQ(buf[100], 0x5A);
    }
    // The caller's memory was neither written past its end nor freed.
    for (unsigned char b : data) EXPECT_EQ(b, 0xAB);
}

TEST(MemFile, WritesInPlaceWithinACallersBuffer) {
    unsigned char data[4] = {};
    PxMemFile f(data, sizeof data);
    EXPECT_EQ(f.Write("xy", 1, 2), 2u);
    EXPECT_TRUE(f.PutC('z'));
    EXPECT_EQ(f.GetBuffer(false), data);  // never handed to free
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 3), "xyz");
}

TEST(MemFile, OwnedGrowthGapsAndDetach) {
    PxMemFile f;
    EXPECT_EQ(f.Write("a", 1, 1), 0u);  // no buffer yet
    ASSERT_TRUE(f.Open());
    EXPECT_FALSE(f.Open());
    std::string block(4096, 'q');
    EXPECT_EQ(f.Write(block.data(), 1, block.size()), 4096u);
    EXPECT_EQ(f.Capacity(), 8192);

    // A gap left by seeking within the owned capacity reads back as zeros.
    ASSERT_TRUE(f.Seek(5000, SEEK_SET));
    EXPECT_TRUE(f.PutC(7));
    ASSERT_TRUE(f.Seek(4096, SEEK_SET));
    for (int i = 4096; i < 5000; i++) ASSERT_EQ(f.GetC(), 0) << i;
    EXPECT_EQ(f.GetC(), 7);

    unsigned char* taken = f.GetBuffer(true);
    // Writes after a detach must not move the caller's block under it.
    EXPECT_EQ(f.Write(block.data(), 1, 4096), 4096u);
    EXPECT_NE(f.GetBuffer(false), taken);
    EXPECT_EQ(taken[0], 'q');
    std::free(taken);
}

TEST(MemFile, RefusesWritesThatWouldPassTheLargestPosition) {
    PxMemFile f;
    ASSERT_TRUE(f.Open());
    ASSERT_TRUE(f.Seek(0x7FFFFFFF, SEEK_SET));
    EXPECT_EQ(f.Write("ab", 1, 2), 0u);
    EXPECT_FALSE(f.PutC(1));
    EXPECT_EQ(f.Write("ab", SIZE_MAX, 2), 0u);
}

TEST(MemFile, WithoutBuffer) {
    PxMemFile f;
    EXPECT_EQ(f.Tell(), -1);
    EXPECT_EQ(f.Size(), -1);
    EXPECT_EQ(f.Error(), -1);
    EXPECT_TRUE(f.Eof());
    EXPECT_FALSE(f.Flush());
    EXPECT_FALSE(f.Seek(0, SEEK_SET));
    EXPECT_TRUE(f.Close());
}

TEST(IOFile, OwnershipAndBasicIo) {
    char path[] = "/tmp/pxstreamXXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    FILE* fp = fdopen(fd, "w+b");
    ASSERT_NE(fp, nullptr);
    {
        PxIOFile f(fp);
        EXPECT_FALSE(f.Open(path, "rb"));  // already holds a stream
        EXPECT_EQ(f.Write("hello", 1, 5), 5u);
        EXPECT_TRUE(f.PutC('!'));
        EXPECT_EQ(f.Size(), 6);
        EXPECT_EQ(f.Tell(), 6);
        ASSERT_TRUE(f.Seek(1, SEEK_SET));
        EXPECT_EQ(f.GetC(), 'e');
        EXPECT_TRUE(f.Close());  // not owned: nothing happens
    }
    // The caller's stream is still open.
    EXPECT_EQ(std::fseek(fp, 0, SEEK_SET), 0);
    EXPECT_EQ(std::fgetc(fp), 'h');
    std::fclose(fp);

    PxIOFile owned;
    ASSERT_TRUE(owned.Open(path, "rb"));
    EXPECT_FALSE(owned.Open(path, "rb"));
    char buf[8] = {};
    EXPECT_EQ(owned.Read(buf, 1, 8), 6u);
    EXPECT_TRUE(owned.Eof());
    EXPECT_EQ(owned.GetC(), -1);
    EXPECT_TRUE(owned.Close());
    EXPECT_EQ(owned.Size(), -1);
    EXPECT_EQ(owned.Error(), -1);
    EXPECT_FALSE(owned.PutC('x'));
    std::remove(path);
}
