#!/usr/bin/env python3
"""Prints the SI of si_rich.ts for DvbpsiFixture: an SI-only multiplex as a tuner sees one, with
eight services and a day of programme guide each (an event every 30 minutes), NIT of four
transport streams, SDT, EIT present/following and schedule, TDT and TOT."""
import json

NAMES = ["Nachrichten", "Wetter", "Sport am Abend", "Spielfilm", "Dokumentation", "Kinderprogramm",
         "Musik", "Magazin", "Quiz", "Serie", "Talkshow", "Reportage"]
TEXTS = ["Aktuelle Meldungen aus aller Welt, mit dem Wetter für morgen.",
         "Ein Blick auf die Woche: Gäste, Gespräche und Musik aus dem Studio.",
         "Die Höhepunkte des Tages, kommentiert von unseren Reportern vor Ort.",
         "Ein Film über einen Transportstrom, der seinen Weg durch das Netz findet.",
         "Tiere, Pflanzen und Landschaften zwischen Alpen und Nordsee."]

services, sdt = [], []
for k in range(8):
    sid = 201 + k
    schedule = []
    for slot in range(48):
        hours, minutes = divmod(slot * 30, 60)
        schedule.append({"event_id": 1000 * (k + 1) + slot, "start": "2024-03-10 %02d:%02d:00" % (hours, minutes),
                         "duration": "00:30:00", "running_status": 4 if slot == 24 else 1, "language": "deu",
                         "name": NAMES[(slot + k) % len(NAMES)], "text": TEXTS[(slot * 3 + k) % len(TEXTS)]})
    services.append({"service_id": sid, "eit_pf_version": 0, "eit_schedule_version": 0,
                     "present": schedule[24], "following": schedule[25], "schedule": schedule})
    sdt.append({"service_id": sid, "service_type": 1, "provider": "Peer Lab", "name": "LUM Kanal %d" % (k + 1)})

terrestrial = {"bandwidth": 0, "priority": 1, "time_slicing": 1, "mpe_fec": 1, "constellation": 2, "hierarchy": 0,
               "code_rate_hp": 2, "code_rate_lp": 0, "guard_interval": 2, "transmission_mode": 1,
               "other_frequency": False}
config = {
    "transport_stream_id": 4662, "original_network_id": 8755,
    "nit": {"network_id": 12289, "version": 0, "network_name": "LUM Peer Network",
            "transport_streams": [{"transport_stream_id": 4660 + i, "original_network_id": 8755,
                                   "terrestrial": dict(terrestrial, frequency_hz=506000000 + 8000000 * i)}
                                  for i in range(4)]},
    "sdt": {"version": 0, "services": sdt},
    "services": services,
    "time": {"utc": "2024-03-10 12:00:00", "step_seconds": 1, "local_time_offsets": [
        {"country": c, "region_id": 0, "offset": "+01:00", "time_of_change": "2024-03-31 01:00:00",
         "next_offset": "+02:00"} for c in ("DEU", "AUT")]},
}
print(json.dumps(config, ensure_ascii=False))
