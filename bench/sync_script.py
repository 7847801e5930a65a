#!/usr/bin/env python3
"""The sync job as a short script with the standard library only, for comparison:
read the three kinds, snapshot them in one transaction each, post each as key=<JSON>,
and record the answers. usage: sync_script.py SITE_DB WORK_DIR BASE_URL"""
import json
import os
import sqlite3
import sys
import time
import urllib.request

QUERIES = {
    "point": ("select cast(id as text),CheckPoint_Card,CheckPoint_Name,CheckPoint_Number,CheckPoint_Type "
              "from GT_CHECKPOINT", ["pId", "ptCard", "ptName", "ptNum", "ptType"]),
    "line": ("select cast(line.id as text),(select Line_Name from GT_LINE where id=line.Line_ID),"
             "cast(line.Place_ID as text),cast(line.Line_Order as text),cast(line.NextPlace_Time as text),"
             "cast(line.Stay_Time as text) from GT_LINE_EXTD as line",
             ["lId", "lName", "placeId", "lOrder", "lNextPlaceTime", "lStayTime"]),
    "plan": ("select cast(ID as text),cast(Line_ID as text),Plan_StartTime,Plan_EndTime,Plan_Type,"
             "cast(Plan_Mode as text),Excute_Week,Start_Date,cast(Excute_Cycle as text),cast(Rest_Cycle as text),"
             "Place_ID,cast(Create_Time as text) from GT_PLAN",
             ["planId", "lineId", "pStartTime", "pEndTime", "pType", "pMode", "pExcWeek", "pStartDate",
              "pExcCycle", "pRestCycle", "placeId", "pCreateTime"]),
}


def text(value):
    return "" if value is None else str(value)


def place_text(value):
    try:
        place = int(value)
    except (TypeError, ValueError):
        place = 0
    return str(place) if place else ""


def main():
    site, work, base = sys.argv[1:4]
    source = sqlite3.connect(f"file:{site}?mode=ro", uri=True)
    local = sqlite3.connect(os.path.join(work, "script.db"))
    os.makedirs(os.path.join(work, "log"), exist_ok=True)
    for kind, (query, keys) in QUERIES.items():
        rows = [[text(v) for v in row] for row in source.execute(query)]
        if kind == "plan":
            for row in rows:
                row[10] = place_text(row[10])
        with local:
            local.execute(f"create table if not exists {kind} ({','.join(k + ' text' for k in keys)})")
            local.execute(f"delete from {kind}")
            local.executemany(f"insert into {kind} values ({','.join('?' * len(keys))})", rows)
        body = "key=" + json.dumps([dict(sorted(zip(keys, r))) for r in rows],
                                   ensure_ascii=False, separators=(",", ":"))
        answer = urllib.request.urlopen(base + "/" + kind, data=body.encode("utf-8")).read()
        day = time.strftime("%Y%m%d")
        with open(os.path.join(work, "log", f"response-{kind}-{day}.txt"), "ab") as f:
            f.write(answer.split(b"\0")[0] + b"\n")


if __name__ == "__main__":
    main()
