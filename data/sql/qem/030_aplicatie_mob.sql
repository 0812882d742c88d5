-- Which programs may connect, and which users may use each of them. The sign-in compares program names
-- without regard to letter case, so two rows differing only in case would make its answer ambiguous.
CREATE TABLE aplicatie_mob (
  aplicatie_mob varchar(100) NOT NULL PRIMARY KEY,
  activ         boolean NOT NULL DEFAULT true,
  obs           text
);
CREATE UNIQUE INDEX aplicatie_mob_lower ON aplicatie_mob (lower(aplicatie_mob));

CREATE TABLE aplicatie_mob_emitent (
  aplicatie_mob varchar(100) NOT NULL REFERENCES aplicatie_mob ON UPDATE CASCADE ON DELETE CASCADE,
  emitent       varchar(100) NOT NULL REFERENCES emitent ON UPDATE CASCADE ON DELETE CASCADE,
  rol           text,
  PRIMARY KEY (aplicatie_mob, emitent)
);
CREATE INDEX aplicatie_mob_emitent_emitent ON aplicatie_mob_emitent (emitent);
