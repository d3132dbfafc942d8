#!/usr/bin/env python3
"""A large result for the report bench: RESULT.tgz [SCALE]."""
import io
import sys
import tarfile

VERSION_HEADER = ("File,Size,Created,Modified,Accessed,Attributes,File Version,Product Version,"
                  "File Description,Product Name,Comments,Private Build,Special Build\r\n")
EVENT_HEADER = "Type,Date,Time,Source,Category,Event,User,Computer,Description,Data\r\n"


def add(tar, name, data):
    info = tarfile.TarInfo(name)
    info.size = len(data)
    tar.addfile(info, io.BytesIO(data))


def main():
    path, scale = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 1
    with tarfile.open(path, "w:gz", format=tarfile.USTAR_FORMAT) as tar:
        log = ["Time,Type,Description"]
        for i in range(200000 * scale):
            severity = "ERROR" if i % 50 == 0 else "INFORMATION"
            log.append(f"05/03/2024 09:07:03,{severity},Unable to collect file C:\\x\\f{i}.log (32)")
        add(tar, "Activity Log.csv", ("\r\n".join(log) + "\r\n").encode())
        row = ("C:\\Windows\\System32\\f.dll,123456,01/01/2024 00:00:00,01/01/2024 00:00:00,"
               "01/01/2024 00:00:00,A,=HYPERLINK(\"x\"),10.0,&<>" + "d" * 60 + ",P,C,,\r\n")
        listing = (VERSION_HEADER + row * (8 * 1024 * 1024 // len(row))).encode()
        for i in range(10 * scale):
            add(tar, f"check/Versions{i}.csv", listing)
        events = EVENT_HEADER + "".join(
            f"Error,01/12/2026,08:00:00,Source{i % 5000},None,7,N/A,PC1,failure {i},\r\n"
            for i in range(100000 * scale))
        add(tar, "check/Application Log.csv", events.encode())
        add(tar, "check/Tool.txt", ("output line\r\n" * (1000000 * scale)).encode())
        for i in range(5000 * scale):
            add(tar, f"check/Copy/f{i}.log", b"x")
        add(tar, "FileList.csv", b"<FILE_LIST_START>\r\n<FILE_LIST_END>\r\n")


if __name__ == "__main__":
    main()
