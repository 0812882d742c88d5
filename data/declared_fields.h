// The declared columns of the sign-in datasets, in the dataset's order.
#pragma once

namespace qv::data {

inline constexpr const char kAplicatieMobFields[] =
    "aplicatie_mob text(100) req; activ bool req; obs long text;";

inline constexpr const char kAplicatieMobEmitentFields[] =
    "aplicatie_mob text(100) req; emitent text(100) req; rol long text;";

inline constexpr const char kEmitentFields[] =
    "emitent text(100) req; emitent_corect text(100); "
    "este_emitent, este_operator, este_comisionar, este_sofer bool req; operator_parola text(256); "
    "cod_casier_pos text(10); banca_eu_default text(100); cont_banca_eu_default text(28); casa text(50); "
    "moneda text(3); magazie_sursa_default text(5); magazie_dest_default text(5); functie text(30); "
    "eu_punct_lucru text(50) req; com_int text(25); loc text(25); nr_obiect text(20); ci_nume text(30); "
    "ci_serie text(3); ci_nr text(25); ci_data_elib date; ci_elib text(25); cnp text(25); "
    "transport_mijloc text(25); transport_nr text(25); "
    "da_nu_schimbare_pl, da_nu_adaugare_partener, da_nu_adaugare_articol, da_nu_acces_la_politica_pret, da_nu_modif_data_listare, da_nu_acces_limita_creditare, prez_of_stoc_fact_cl, prez_of_stoc_av_exp, prez_of_stoc_bte, prez_of_stoc_bc, pret_fact_cl_cu_tva, da_nu_fact_pe_calc, da_nu_modif_nr_fact_pe_calc, da_nu_fact_autocopy, da_nu_aviz_autocopy, da_nu_modif_data_livrare bool req; "
    "nr_zile_prezentare_doc integer; data_ins date req; da_nu_fact_ci_rosu bool; em_email_adr text(50); "
    "tel_fix text(30); tel_mobil text(30); proc_comisionar float; em_outgoing_email_server text(50); "
    "em_outgoing_email_port integer; em_outgoing_email_secure bool req; em_outgoing_email_user text(50); "
    "em_outgoing_email_psw text(50); em_outlook bool req; lang text(15); rol_web text(25); "
    "rol_win text(25); web_theme text(25); discontinued bool req; data_export datetime; "
    "data_import datetime; vede_pret_stoc bool; da_nu_generare_op bool req;";

inline constexpr const char kEuFields[] =
    "cod_cci text(20) req; atribut_fiscal text(3); tip_societate text(20); reg_comert_jud text(5); "
    "reg_comert_nr text(7); reg_comert_data date; reg_comert_jud_suc text(5); reg_comert_nr_suc text(7); "
    "reg_comert_data_suc date; cnp_a text(13); eu text(100); eu_sediu text(30); "
    "data_incep_activitate date req; trezoreria text(100); trezoreria_cont text(28); data_gen_fact date; "
    "tara text(3) req; localit text(30) req; adresa text(100) req; telefon text(50); fax text(50); "
    "email_adr text(50); web_adr text(50); nr_insp_munca text(15); nr_pers_hand_suta_ang float; "
    "da_nu_modif_ore_prez bool; da_nu_dimin_avans_cu_ret bool; formula_calcul_co text(30); "
    "proc_avans_co float; formula_calcul_avans_q text(30); formula_calcul_penalitati integer; "
    "proc_avans float; rotunjire_avans integer; rotunjire_lichidare integer; "
    "proc_diminuare_bugetari float; nr_autorizatie_alcool text(30); metoda_stoc text(4) req; "
    "da_nu_scadere_stoc_in_viitor, da_nu_impozit_profit, da_nu_nevoi_firma bool req; "
    "da_nu_platitor_tva_in_vama bool; proc_impozit_profit float; proc_deductibilitate float; "
    "prez_of_stoc_fact_cl, da_nu_postcalcul, prez_of_stoc_av_exp, prez_of_stoc_bte, prez_of_stoc_bc, pret_fact_cl_cu_tva, pret_nir_cu_tva, pret_cmd_client_cu_tva, da_nu_tva_neexigibil, da_nu_list_fact_pr_ctl, da_nu_list_fact_neop_stoc, da_nu_bon_pe_calc, da_nu_cmd_pe_extrasb, da_nu_fact_pe_calc, da_nu_fact_autocopy, da_nu_aviz_autocopy, da_nu_nir_in_mag_dest bool req; "
    "tip_contabilitate text(20) req; "
    "da_nu_politica_pret_punct_lucru, da_nu_nota_c_fara_restrictie, da_nu_mon_cont_tip_doc bool req; "
    "data_denominare date req; "
    "da_nu_balanta_pe_obiective, da_nu_rezervare_stoc, da_nu_contare_avz_c, da_nu_contare_nirad bool req; "
    "norma float req; data_avans date; data_lichidare date; strada text(50); nr_strada text(10); "
    "bloc text(10); scara text(5); etaj text(5); apt text(5); sector text(1); cod_postal_adresa text(6); "
    "sup_eu_denumire text(100); sup_eu_cui text(13); eu_cui text(13); eu_cif text(13); "
    "eu_reprezentant_legal text(100); val_limita_casa_lei float; proc_penaliz_intirziere float; "
    "cod_forma_proprietate float; cod_forma_organizare float; cod_tip_societate float; cod_caen text(6); "
    "cod_siruta float; tip_administrare_soc text(50); capital_social text(100); "
    "da_nu_autoinchidere_cmd_client, da_nu_autoinchidere_cmd_furn, da_nu_institutie_publica bool req; "
    "casa_asig_sanatate text(2); nr_licenta_turism text(20); "
    "da_nu_balanta_pe_subunitati, da_nu_b_casa_stoc, da_nu_b_casa_articol, da_nu_salarii_in_postcalcul, da_nu_turism_in_comision, da_nu_confirmare_comanda, da_nu_micro_intreprindere, da_nu_tva_nededus_cont_separat bool req; "
    "jas_ip long text; jas_ip_ext long text; mod_plata_tva text(20); gln text(13); "
    "reges_cod_tip_angajator text(20); reges_cod_forma_organizare text(70); "
    "reges_cod_forma_juridica text(48); reges_cod_tip_societate text(30); "
    "reges_cod_forma_proprietate text(8); reges_cod_act_id_pf text(25);";

inline constexpr const char kQemMobilFields[] =
    "nume_firma text(200) req; ip long text; port integer; db_name long text; activ bool; m_site bool req; "
    "pw_hash_type text(23)";

}  // namespace qv::data
